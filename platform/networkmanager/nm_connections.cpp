// Entries as NetworkManager connections, through libnm: the keyfile of an entry, and the
// entry added to or removed from the running NetworkManager. Built into a module of its own,
// so that only the work with NetworkManager loads libnm and GLib.
#include "nm_connections.h"

#include <NetworkManager.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "common/service_wait.h"
#include "config/nm_module.h"

namespace orvane_nm {

using orvane_platform::dialup_connection;
using orvane_platform::connection_ref;
using orvane_platform::dialup_error;
using orvane_platform::service_call;

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
    // Another SIM in the same modem does not use the entry.
    if (!c.sim_operator_id.empty()) {
        g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_SIM_OPERATOR_ID, c.sim_operator_id.c_str(), nullptr);
    }
    // Stored in the file itself, as the handheld's entry holds it; an entry without one dials
    // without one, where NetworkManager would otherwise wait for someone to type it.
    g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_PASSWORD_FLAGS,
                 c.password.empty() ? NM_SETTING_SECRET_FLAG_NOT_REQUIRED : NM_SETTING_SECRET_FLAG_NONE, nullptr);
    nm_connection_add_setting(conn, s_gsm);

    NMSetting *s_serial = nm_setting_serial_new();
    g_object_set(G_OBJECT(s_serial), NM_SETTING_SERIAL_BAUD, static_cast<guint>(c.baud), nullptr);
    nm_connection_add_setting(conn, s_serial);

    // The context type of the entry's dial modifier: ModemManager asks the modem for IPv4, IPv6
    // or both as the IP methods say, so an "IP" entry never becomes a dual-stack context that
    // some networks refuse.
    const bool v4 = c.pdp_type != "IPV6";
    const bool v6 = c.pdp_type == "IPV6" || c.pdp_type == "IPV4V6";
    NMSetting *s_ip4 = nm_setting_ip4_config_new();
    g_object_set(G_OBJECT(s_ip4), NM_SETTING_IP_CONFIG_METHOD,
                 v4 ? NM_SETTING_IP4_CONFIG_METHOD_AUTO : NM_SETTING_IP4_CONFIG_METHOD_DISABLED, nullptr);
    nm_connection_add_setting(conn, s_ip4);
    NMSetting *s_ip6 = nm_setting_ip6_config_new();
    g_object_set(G_OBJECT(s_ip6), NM_SETTING_IP_CONFIG_METHOD,
                 v6 ? NM_SETTING_IP6_CONFIG_METHOD_AUTO : NM_SETTING_IP6_CONFIG_METHOD_DISABLED, nullptr);
    nm_connection_add_setting(conn, s_ip6);

    GError *raw = nullptr;
    if (!nm_connection_verify(conn, &raw)) {
        error_ptr err(raw);
        throw dialup_error(std::string("NetworkManager does not take this connection: ") +
                           (err ? err->message : "unknown reason"));
    }
    return owner;
}

void unref_variant(GVariant *v) { g_variant_unref(v); }
using variant_ptr = std::unique_ptr<GVariant, freer<GVariant, unref_variant>>;

constexpr const char *nm_service = "org.freedesktop.NetworkManager";
constexpr const char *settings_path = "/org/freedesktop/NetworkManager/Settings";
constexpr const char *settings_iface = "org.freedesktop.NetworkManager.Settings";
constexpr const char *connection_iface = "org.freedesktop.NetworkManager.Settings.Connection";
// Calls in flight at once: the system bus refuses a client past 128 pending replies
// (max_replies_per_connection), which is how libnm's own client loses connections.
constexpr std::size_t batch = 32;

// What a reply brought: the value, or the error.
struct reply {
    variant_ptr value;
    error_ptr error;
    bool done = false;
};

// The system bus on a main context of our own, every wait bounded by the call's limits:
// a service that does not answer is treated as one that is not running, and a signal that
// ends the program stops the wait at once.
class bus_session {
public:
    explicit bus_session(const service_call &limits) : limits_(limits) {
        bus_wait got{this, nullptr, false};
        ++pending_;
        g_bus_get(G_BUS_TYPE_SYSTEM, cancel_, bus_ready, &got);
        try {
            wait_until([&] { return got.done; });
        } catch (...) {
            close();
            throw;
        }
        if (bus_ != nullptr) g_dbus_connection_set_exit_on_close(bus_, FALSE);  // the bus going away is an error, not our end
        if (bus_ == nullptr) {
            std::string why = got.error ? got.error->message : "unknown reason";
            close();
            throw dialup_error("NetworkManager is not running: no system bus to ask it on (" + why + ")");
        }
    }
    ~bus_session() { close(); }
    bus_session(const bus_session &) = delete;
    bus_session &operator=(const bus_session &) = delete;

    // Starts a call whose answer lands in `into`.
    void start(const char *path, const char *iface, const char *method, GVariant *args, const char *reply_type,
               reply &into) {
        ++pending_;
        auto *slot = new call_slot{this, &into};
        g_dbus_connection_call(bus_, nm_service, path, iface, method, args, G_VARIANT_TYPE(reply_type),
                               G_DBUS_CALL_FLAGS_NO_AUTO_START, limits_.timeout_ms, cancel_, call_done, slot);
    }

    // Waits for every one of `replies`.
    void wait_for(const std::vector<reply *> &replies) {
        wait_until([&] { return std::all_of(replies.begin(), replies.end(), [](const reply *r) { return r->done; }); });
    }

    template <typename Done>
    void wait_until(Done done) {
        const auto why = context_.wait(limits_, done);
        if (why == orvane_platform::private_context::outcome::done) return;
        give_up();
        throw dialup_error(orvane_platform::gave_up_reason("NetworkManager", why, limits_));
    }

    // One call, waited for; throws dialup_error with `what` and the reason when it fails.
    variant_ptr call(const char *path, const char *iface, const char *method, GVariant *args, const char *reply_type) {
        reply r;
        start(path, iface, method, args, reply_type, r);
        wait_for({&r});
        if (r.error) throw dialup_error(reason(r.error.get()));
        return std::move(r.value);
    }

    std::string reason(const GError *e) const {
        if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
            return orvane_platform::gave_up_reason("NetworkManager", orvane_platform::private_context::outcome::timed_out, limits_);
        }
        if (g_dbus_error_is_remote_error(e)) {
            chars_ptr name(g_dbus_error_get_remote_error(e));
            std::string n = name ? name.get() : "";
            if (n == "org.freedesktop.DBus.Error.ServiceUnknown" || n == "org.freedesktop.DBus.Error.NameHasNoOwner") {
                return "NetworkManager is not running";
            }
        }
        return std::string("NetworkManager: ") + e->message;
    }

private:
    struct call_slot {
        bus_session *session;
        reply *into;
    };

    struct bus_wait {
        bus_session *session;
        error_ptr error;
        bool done = false;
    };

    static void bus_ready(GObject *, GAsyncResult *result, gpointer data) {
        auto *got = static_cast<bus_wait *>(data);
        --got->session->pending_;
        GError *raw = nullptr;
        got->session->bus_ = g_bus_get_finish(result, &raw);
        got->error.reset(raw);
        got->done = true;
    }

    static void call_done(GObject *source, GAsyncResult *result, gpointer data) {
        std::unique_ptr<call_slot> slot(static_cast<call_slot *>(data));
        --slot->session->pending_;
        GError *raw = nullptr;
        GVariant *v = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw);
        slot->into->value.reset(v);
        slot->into->error.reset(raw);
        slot->into->done = true;
    }

    // Cancelled calls still answer, at once; their replies must land while what they write
    // to is still there.
    void give_up() {
        g_cancellable_cancel(cancel_);
        while (pending_ > 0) context_.iterate();
    }

    // Everything but the context, which goes last, as a member.
    void close() {
        if (cancel_ == nullptr) return;
        give_up();
        if (bus_ != nullptr) g_object_unref(bus_);
        bus_ = nullptr;
        g_object_unref(cancel_);
        cancel_ = nullptr;
    }

    service_call limits_;
    orvane_platform::private_context context_;
    GCancellable *cancel_ = g_cancellable_new();
    GDBusConnection *bus_ = nullptr;
    int pending_ = 0;

};

std::string setting_string(GVariant *settings, const char *group, const char *key) {
    variant_ptr values(g_variant_lookup_value(settings, group, G_VARIANT_TYPE("a{sv}")));
    if (!values) return {};
    variant_ptr value(g_variant_lookup_value(values.get(), key, G_VARIANT_TYPE_STRING));
    return value ? g_variant_get_string(value.get(), nullptr) : "";
}

bool gone(const GError *e) {
    if (!g_dbus_error_is_remote_error(e)) return false;
    chars_ptr name(g_dbus_error_get_remote_error(e));
    std::string n = name ? name.get() : "";
    return n == "org.freedesktop.DBus.Error.UnknownObject" || n == "org.freedesktop.DBus.Error.UnknownMethod" ||
           n == "org.freedesktop.NetworkManager.Settings.InvalidConnection";
}

// Every connection NetworkManager has, read whole: the settings service's list, then each
// connection's settings, a batch at a time. A connection removed meanwhile is left out; any
// other failure fails the whole list.
std::vector<connection_ref> all_connections(bus_session &bus) {
    variant_ptr listed = bus.call(settings_path, settings_iface, "ListConnections", nullptr, "(ao)");
    std::vector<std::string> paths;
    {
        GVariantIter *iter = nullptr;
        const char *path = nullptr;
        g_variant_get(listed.get(), "(ao)", &iter);
        while (g_variant_iter_next(iter, "&o", &path)) paths.emplace_back(path);
        g_variant_iter_free(iter);
    }
    std::vector<connection_ref> out;
    for (std::size_t from = 0; from < paths.size(); from += batch) {
        std::size_t to = std::min(paths.size(), from + batch);
        std::vector<reply> replies(to - from);
        std::vector<reply *> waited;
        for (std::size_t i = from; i < to; ++i) {
            bus.start(paths[i].c_str(), connection_iface, "GetSettings", nullptr, "(a{sa{sv}})", replies[i - from]);
            waited.push_back(&replies[i - from]);
        }
        bus.wait_for(waited);
        for (reply &r : replies) {
            if (r.error) {
                if (gone(r.error.get())) continue;
                throw dialup_error("NetworkManager's connections cannot be read whole: " + bus.reason(r.error.get()));
            }
            variant_ptr settings(g_variant_get_child_value(r.value.get(), 0));
            out.push_back({setting_string(settings.get(), "connection", "id"),
                           setting_string(settings.get(), "connection", "uuid")});
        }
    }
    return out;
}

// The path and present name of the connection with `uuid`; none when NetworkManager has none.
std::optional<std::pair<std::string, std::string>> connection_by_uuid(bus_session &bus, const std::string &uuid) {
    reply found;
    bus.start(settings_path, settings_iface, "GetConnectionByUuid", g_variant_new("(s)", uuid.c_str()), "(o)", found);
    bus.wait_for({&found});
    if (found.error) {
        if (gone(found.error.get())) return std::nullopt;
        throw dialup_error(bus.reason(found.error.get()));
    }
    const char *path = nullptr;
    g_variant_get(found.value.get(), "(&o)", &path);
    std::string at = path;
    reply settings;
    bus.start(at.c_str(), connection_iface, "GetSettings", nullptr, "(a{sa{sv}})", settings);
    bus.wait_for({&settings});
    if (settings.error) {
        if (gone(settings.error.get())) return std::nullopt;
        throw dialup_error(bus.reason(settings.error.get()));
    }
    variant_ptr s(g_variant_get_child_value(settings.value.get(), 0));
    return std::make_pair(at, setting_string(s.get(), "connection", "id"));
}

}  // namespace

std::string add(const dialup_connection &c, const service_call &limits) {
    object_ptr conn = built(c);
    bus_session bus(limits);
    // Kept on disk, as the handheld keeps its entries, and not dialled on its own.
    const guint32 flags = NM_SETTINGS_ADD_CONNECTION2_FLAG_TO_DISK | NM_SETTINGS_ADD_CONNECTION2_FLAG_BLOCK_AUTOCONNECT;
    GVariant *settings = nm_connection_to_dbus(NM_CONNECTION(conn.get()), NM_CONNECTION_SERIALIZE_ALL);
    GVariant *args = g_variant_new("(@a{sa{sv}}u@a{sv})", settings, flags, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
    try {
        bus.call(settings_path, settings_iface, "AddConnection2", args, "(oa{sv})");
    } catch (const dialup_error &e) {
        throw dialup_error(std::string("NetworkManager refuses the connection: ") + e.what());
    }
    return uuid_of(c);
}

std::optional<std::string> remove(const dialup_connection &c, const service_call &limits) {
    bus_session bus(limits);
    auto found = connection_by_uuid(bus, uuid_of(c));
    if (!found) return std::nullopt;
    reply r;
    bus.start(found->first.c_str(), connection_iface, "Delete", nullptr, "()", r);
    bus.wait_for({&r});
    if (r.error && !gone(r.error.get())) {
        throw dialup_error("NetworkManager does not remove the connection: " + bus.reason(r.error.get()));
    }
    return found->second;
}

std::vector<connection_ref> connections(const service_call &limits) {
    bus_session bus(limits);
    return all_connections(bus);
}

std::string uuid(const dialup_connection &c) { return uuid_of(c); }

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
                                                                                const orvane_platform::service_call &limits,
                                                                                std::string &uuid,
                                                                                std::string &error) noexcept {
    return answered(error, [&] { uuid = orvane_nm::add(c, limits); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_remove(
    const orvane_platform::dialup_connection &c, const orvane_platform::service_call &limits,
    std::optional<std::string> &removed, std::string &error) noexcept {
    return answered(error, [&] { removed = orvane_nm::remove(c, limits); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_connections(
    const orvane_platform::service_call &limits, std::vector<orvane_platform::connection_ref> &all,
    std::string &error) noexcept {
    return answered(error, [&] { all = orvane_nm::connections(limits); });
}

extern "C" __attribute__((visibility("default"))) bool orvane_networkmanager_uuid(const orvane_platform::dialup_connection &c,
                                                                                 std::string &uuid,
                                                                                 std::string &error) noexcept {
    return answered(error, [&] { uuid = orvane_nm::uuid(c); });
}
