#include "export.h"

#include <NetworkManager.h>

#include <array>
#include <memory>

#include "common/utf.h"
#include "telephony/modem_config.h"

namespace orvane_export {
namespace {

std::string value_of(const orvane_platform::stored_entry &e, const std::string &name) {
    for (const auto &[k, v] : e.parms) {
        if (k == name) return v;
    }
    return {};
}

template <typename T, void (*Free)(T *)>
struct freer {
    void operator()(T *p) const {
        if (p != nullptr) Free(p);
    }
};
void unref_object(GObject *o) { g_object_unref(o); }
using connection_ptr = std::unique_ptr<GObject, freer<GObject, unref_object>>;
using keyfile_ptr = std::unique_ptr<GKeyFile, freer<GKeyFile, g_key_file_unref>>;
using error_ptr = std::unique_ptr<GError, freer<GError, g_error_free>>;
void free_chars(char *p) { g_free(p); }
using chars_ptr = std::unique_ptr<char, freer<char, free_chars>>;

// Any control character ends a line or a word in the files pppd and chat read.
void refuse_controls(const std::string &value, const std::string &what) {
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F) {
            throw export_error(what + " holds a control character (a line break, a tab or a NUL), which " +
                               "pppd and chat cannot carry");
        }
    }
}

// A send string of chat, in single quotes: chat reads \\ \' and \^ as the characters,
// and would take a bare ^X for a control character.
std::string chat_string(const std::string &value, const std::string &what) {
    refuse_controls(value, what);
    std::string out = "'";
    for (char c : value) {
        if (c == '\\' || c == '\'' || c == '^') out += '\\';
        out += c;
    }
    return out + "'";
}

// A word of a pppd options file, in double quotes, with \ and " escaped.
std::string pppd_word(const std::string &value, const std::string &what) {
    refuse_controls(value, what);
    std::string out = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// One argument of the shell command pppd runs for "connect".
std::string shell_word(const std::string &value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace

std::optional<std::string> apn_in_modifier(const std::string &modifier) {
    const std::string head = "+CGDCONT=1,\"IP\",\"";
    if (modifier.size() < head.size() + 1 || modifier.compare(0, head.size(), head) != 0 || modifier.back() != '"') {
        return std::nullopt;
    }
    return modifier.substr(head.size(), modifier.size() - head.size() - 1);
}

connection connection_of(const orvane_platform::stored_entry &e) {
    connection c;
    c.name = e.name;
    c.created = e.created;
    c.phone = value_of(e, "Phone");
    c.user = value_of(e, "UserName");
    c.password = value_of(e, "Password");
    c.device_name = value_of(e, "DeviceName");
    auto block = orvane_platform::decode_modem_config_hex(value_of(e, "DeviceSpecificRAW"));
    if (!block) throw export_error("the entry's device configuration cannot be read");
    c.baud = block->baud_rate;
    c.apn = apn_in_modifier(orvane_platform::to_utf8(block->dial_modifier));
    return c;
}

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

std::string networkmanager_keyfile(const connection &c) {
    NMConnection *conn = nm_simple_connection_new();
    connection_ptr owner(G_OBJECT(conn));
    std::string uuid = name_based_uuid(c.name + '\n' + c.created);

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
    // Stored in the file itself, as the handheld's entry holds it.
    g_object_set(G_OBJECT(s_gsm), NM_SETTING_GSM_PASSWORD_FLAGS, NM_SETTING_SECRET_FLAG_NONE, nullptr);
    nm_connection_add_setting(conn, s_gsm);

    NMSetting *s_serial = nm_setting_serial_new();
    g_object_set(G_OBJECT(s_serial), NM_SETTING_SERIAL_BAUD, static_cast<guint>(c.baud), nullptr);
    nm_connection_add_setting(conn, s_serial);

    NMSetting *s_ip4 = nm_setting_ip4_config_new();
    g_object_set(G_OBJECT(s_ip4), NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP4_CONFIG_METHOD_AUTO, nullptr);
    nm_connection_add_setting(conn, s_ip4);
    NMSetting *s_ip6 = nm_setting_ip6_config_new();
    g_object_set(G_OBJECT(s_ip6), NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP6_CONFIG_METHOD_AUTO, nullptr);
    nm_connection_add_setting(conn, s_ip6);

    GError *raw = nullptr;
    if (!nm_connection_verify(conn, &raw)) {
        error_ptr err(raw);
        throw export_error(std::string("NetworkManager does not take this connection: ") +
                           (err ? err->message : "unknown reason"));
    }
    keyfile_ptr file(nm_keyfile_write(conn, NM_KEYFILE_HANDLER_FLAGS_NONE, nullptr, nullptr, &raw));
    if (!file) {
        error_ptr err(raw);
        throw export_error(std::string("libnm cannot write the keyfile: ") + (err ? err->message : "unknown reason"));
    }
    gsize length = 0;
    chars_ptr text(g_key_file_to_data(file.get(), &length, nullptr));
    return std::string(text.get(), length);
}

pppd_files pppd_export(const connection &c, const std::string &port, const std::string &chat_path) {
    pppd_files f;
    std::string modifier_command;
    if (c.apn) modifier_command = chat_string("AT+CGDCONT=1,\"IP\",\"" + *c.apn + "\"", "the APN");
    std::string dial = chat_string("ATD" + c.phone, "the phone number");

    f.chat = "# chat script of the connection " + pppd_word(c.name, "the name") + ", exported by orvane-device\n";
    for (const char *abort : {"BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR"}) {
        f.chat += std::string("ABORT '") + abort + "'\n";
    }
    f.chat += "TIMEOUT 30\n";
    f.chat += "'' 'AT'\n";
    if (!modifier_command.empty()) f.chat += "OK " + modifier_command + "\n";
    f.chat += "OK " + dial + "\n";
    f.chat += "CONNECT '\\c'\n";

    f.peers = "# pppd peers file of the connection " + pppd_word(c.name, "the name") + ", exported by orvane-device\n";
    f.peers += pppd_word(port, "the serial device") + "\n";
    f.peers += std::to_string(c.baud) + "\n";
    f.peers += "connect " + pppd_word("/usr/sbin/chat -v -f " + shell_word(chat_path), "the chat script's path") + "\n";
    if (!c.user.empty()) f.peers += "user " + pppd_word(c.user, "the user name") + "\n";
    if (!c.password.empty()) f.peers += "password " + pppd_word(c.password, "the password") + "\n";
    f.peers += "noauth\ndefaultroute\nusepeerdns\nnopersist\n";
    return f;
}

}  // namespace orvane_export
