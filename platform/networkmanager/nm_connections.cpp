// Entries as NetworkManager connections, through libnm: the keyfile of an entry, and the
// entry added to or removed from the running NetworkManager. Built into a module of its own,
// so that only the work with NetworkManager loads libnm and GLib.
#include "nm_connections.h"

#include <NetworkManager.h>

#include <array>
#include <memory>

#include "config/nm_module.h"

namespace orvane_nm {

using orvane_platform::dialup_connection;
using orvane_platform::dialup_error;

namespace {

template <typename T, void (*Free)(T *)>
struct freer {
    void operator()(T *p) const {
        if (p != nullptr) Free(p);
    }
};
void unref_object(GObject *o) { g_object_unref(o); }
using object_ptr = std::unique_ptr<GObject, freer<GObject, unref_object>>;
using keyfile_ptr = std::unique_ptr<GKeyFile, freer<GKeyFile, g_key_file_unref>>;
using error_ptr = std::unique_ptr<GError, freer<GError, g_error_free>>;
void free_chars(char *p) { g_free(p); }
using chars_ptr = std::unique_ptr<char, freer<char, free_chars>>;

}  // namespace

std::string name_based_uuid(const std::string &name) {
    // The namespace of this program's connections; never change it, or exported UUIDs change.
    static constexpr std::array<unsigned char, 16> space = {0x5b, 0x0e, 0x4f, 0x2a, 0x93, 0x61, 0x4c, 0x7d,
                                                            0xa8, 0x3f, 0x1e, 0x60, 0xc2, 0x94, 0x0d, 0x17};
    GChecksum *sum = g_checksum_new(G_CHECKSUM_SHA1);
    g_checksum_update(sum, space.data(), space.size());
    g_checksum_update(sum, reinterpret_cast<const guchar *>(name.data()), static_cast<gssize>(name.size()));
    std::array<guint8, 20> digest{};
    gsize length = digest.size();
    g_checksum_get_digest(sum, digest.data(), &length);
    g_checksum_free(sum);
    digest[6] = static_cast<guint8>((digest[6] & 0x0F) | 0x50);  // version 5
    digest[8] = static_cast<guint8>((digest[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += hex[digest[static_cast<std::size_t>(i)] >> 4];
        out += hex[digest[static_cast<std::size_t>(i)] & 0x0F];
    }
    return out;
}

namespace {

std::string uuid_of(const dialup_connection &c) { return name_based_uuid(c.device_id + '\n' + c.name + '\n' + c.created); }

// The entry as a connection NetworkManager takes; throws dialup_error when it refuses it.
object_ptr built(const dialup_connection &c) {
    NMConnection *conn = nm_simple_connection_new();
    object_ptr owner(G_OBJECT(conn));
    std::string uuid = uuid_of(c);

    NMSetting *s_con = nm_setting_connection_new();
    g_object_set(G_OBJECT(s_con), NM_SETTING_CONNECTION_ID, c.name.c_str(), NM_SETTING_CONNECTION_UUID, uuid.c_str(),
                 NM_SETTING_CONNECTION_TYPE, NM_SETTING_GSM_SETTING_NAME, NM_SETTING_CONNECTION_AUTOCONNECT, FALSE,
                 nullptr);
    nm_connection_add_setting(conn, s_con);

    NMSetting *s_gsm = nm_setting_gsm_new();
    if (c.apn) g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_APN, c.apn->c_str(), nullptr);
    if (!c.phone.empty()) g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_NUMBER, c.phone.c_str(), nullptr);
    if (!c.user.empty()) g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_USERNAME, c.user.c_str(), nullptr);
    if (!c.password.empty()) g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_PASSWORD, c.password.c_str(), nullptr);
    // Only the modem the entry was made for dials it.
    if (!c.modem_id.empty()) g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_DEVICE_ID, c.modem_id.c_str(), nullptr);
    // Stored in the file itself, as the handheld's entry holds it; an entry without one dials
    // without one, where NetworkManager would otherwise wait for someone to type it.
    g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_PASSWORD_FLAGS,
                 c.password.empty() ? NM_SETTING_SECRET_FLAG_NOT_REQUIRED : NM_SETTING_SECRET_FLAG_NONE, nullptr);
    nm_connection_add_setting(conn, s_gsm);

    NMSetting *s_serial = nm_setting_serial_new();
    g_object_set(G_OBJECT(s_serial), NM_SETTING_SERIAL_BAUD, static_cast<guint>(c.baud), nullptr);
    nm_connection_add_setting(conn, s_serial);

    NMSetting *s_ip4 = nm_setting_ip4_config_new();
    g_object_set(G_OBJECT(s_ip4), NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP4_CONFIG_METHOD_AUTO, nullptr);
    nm_connection_add_setting(conn, s_ip4);
    // The entry's own dial modifier defines an "IP" (IPv4) context; with IPv6 off the modem is
    // asked for that type too, not a dual-stack one that some networks refuse.
    NMSetting *s_ip6 = nm_setting_ip6_config_new();
    g_object_set(G_OBJECT(s_ip6), NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP6_CONFIG_METHOD_DISABLED, nullptr);
    nm_connection_add_setting(conn, s_ip6);

    GError *raw = nullptr;
    if (!nm_connection_verify(conn, &raw)) {
        error_ptr err(raw);
        throw dialup_error(std::string("NetworkManager does not take this connection: ") +
                           (err ? err->message : "unknown reason"));
    }
    return owner;
}

void unref_loop(GMainLoop *l) { g_main_loop_unref(l); }
using loop_ptr = std::unique_ptr<GMainLoop, freer<GMainLoop, unref_loop>>;

// The running NetworkManager; throws dialup_error when there is none to ask.
object_ptr client() {
    GError *raw = nullptr;
    object_ptr nm(G_OBJECT(nm_client_new(nullptr, &raw)));
    error_ptr err(raw);
    if (!nm || !nm_client_get_nm_running(NM_CLIENT(nm.get()))) {
        throw dialup_error(std::string("NetworkManager is not running") + (err ? std::string(": ") + err->message : ""));
    }
    return nm;
}

// One call of libnm's asynchronous API, waited for.
struct waited_call {
    loop_ptr loop{g_main_loop_new(nullptr, FALSE)};
    bool done = false;
    GError *error = nullptr;

    void run() { g_main_loop_run(loop.get()); }
    void finish() { g_main_loop_quit(loop.get()); }
};

void added(GObject *source, GAsyncResult *result, gpointer data) {
    auto *call = static_cast<waited_call *>(data);
    NMRemoteConnection *made = nm_client_add_connection2_finish(NM_CLIENT(source), result, nullptr, &call->error);
    call->done = made != nullptr;
    if (made != nullptr) g_object_unref(made);
    call->finish();
}

void deleted(GObject *source, GAsyncResult *result, gpointer data) {
    auto *call = static_cast<waited_call *>(data);
    call->done = nm_remote_connection_delete_finish(NM_REMOTE_CONNECTION(source), result, &call->error) != FALSE;
    call->finish();
}

}  // namespace

std::string add(const dialup_connection &c) {
    object_ptr conn = built(c);
    object_ptr nm = client();
    waited_call call;
    // Kept on disk, as the handheld keeps its entries, and not dialled on its own.
    nm_client_add_connection2(NM_CLIENT(nm.get()),
                              nm_connection_to_dbus(NM_CONNECTION(conn.get()), NM_CONNECTION_SERIALIZE_ALL),
                              static_cast<NMSettingsAddConnection2Flags>(NM_SETTINGS_ADD_CONNECTION2_FLAG_TO_DISK |
                                                                         NM_SETTINGS_ADD_CONNECTION2_FLAG_BLOCK_AUTOCONNECT),
                              nullptr, TRUE, nullptr, added, &call);
    call.run();
    error_ptr err(call.error);
    if (!call.done) {
        throw dialup_error(std::string("NetworkManager refuses the connection: ") + (err ? err->message : "unknown reason"));
    }
    return uuid_of(c);
}

void remove(const dialup_connection &c) {
    object_ptr nm = client();
    std::string uuid = uuid_of(c);
    NMRemoteConnection *found = nm_client_get_connection_by_uuid(NM_CLIENT(nm.get()), uuid.c_str());
    if (found == nullptr) return;
    waited_call call;
    nm_remote_connection_delete_async(found, nullptr, deleted, &call);
    call.run();
    error_ptr err(call.error);
    if (!call.done) {
        throw dialup_error(std::string("NetworkManager does not remove the connection: ") +
                           (err ? err->message : "unknown reason"));
    }
}

std::vector<std::string> names() {
    object_ptr nm = client();
    std::vector<std::string> out;
    const GPtrArray *all = nm_client_get_connections(NM_CLIENT(nm.get()));
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        const char *id = nm_connection_get_id(NM_CONNECTION(g_ptr_array_index(all, i)));
        if (id != nullptr) out.emplace_back(id);
    }
    return out;
}

std::string keyfile(const dialup_connection &c) {
    object_ptr owner = built(c);
    NMConnection *conn = NM_CONNECTION(owner.get());
    GError *raw = nullptr;
    keyfile_ptr file(nm_keyfile_write(conn, NM_KEYFILE_HANDLER_FLAGS_NONE, nullptr, nullptr, &raw));
    if (!file) {
        error_ptr err(raw);
        throw dialup_error(std::string("libnm cannot write the keyfile: ") + (err ? err->message : "unknown reason"));
    }
    gsize length = 0;
    chars_ptr text(g_key_file_to_data(file.get(), &length, nullptr));
    return std::string(text.get(), length);
}

}  // namespace orvane_nm

namespace {

// An entry point's body: what it throws comes back as false and the reason.
template <typename Work>
bool answered(std::string &error, Work work) noexcept {
    try {
        work();
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_keyfile(const orvane_platform::dialup_connection &c,
                                                                                     std::string &text,
                                                                                     std::string &error) noexcept {
    return answered(error, [&] { text = orvane_nm::keyfile(c); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_add(const orvane_platform::dialup_connection &c,
                                                                                std::string &uuid,
                                                                                std::string &error) noexcept {
    return answered(error, [&] { uuid = orvane_nm::add(c); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_remove(const orvane_platform::dialup_connection &c,
                                                                                   std::string &error) noexcept {
    return answered(error, [&] { orvane_nm::remove(c); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_names(std::vector<std::string> &names,
                                                                                  std::string &error) noexcept {
    return answered(error, [&] { names = orvane_nm::names(); });
}
