#include "dialup.h"

#include <set>

#include "../common/private_module.h"
#include "../common/utf.h"
#include "../device/device.h"
#include "../telephony/modem_config.h"
#include "nm_module.h"

namespace orvane_platform {
namespace {

template <typename Entry>
Entry module_entry(const char *name) {
    std::string error;
    void *symbol =
        private_module_symbol("NetworkManager's connections", ORVANE_NM_MODULE, ORVANE_NM_MODULE_FROM_BINDIR, name, error);
    if (symbol == nullptr) throw dialup_error(error);
    return reinterpret_cast<Entry>(symbol);
}

}  // namespace

std::optional<std::string> apn_in_modifier(const std::string &modifier) {
    const std::string head = "+CGDCONT=1,\"IP\",\"";
    if (modifier.size() < head.size() + 1 || modifier.compare(0, head.size(), head) != 0 || modifier.back() != '"') {
        return std::nullopt;
    }
    return modifier.substr(head.size(), modifier.size() - head.size() - 1);
}

dialup_connection dialup_connection_of(const stored_entry &e) {
    dialup_connection c;
    c.name = e.name;
    c.created = e.created;
    c.phone = parm_value(e, "Phone");
    c.user = parm_value(e, "UserName");
    c.password = parm_value(e, "Password");
    c.device_name = parm_value(e, "DeviceName");
    auto block = decode_modem_config_hex(parm_value(e, "DeviceSpecificRAW"));
    if (!block) throw dialup_error("the entry's device configuration cannot be read");
    c.baud = block->baud_rate;
    c.apn = apn_in_modifier(to_utf8(block->dial_modifier));
    c.device_id = device_identity();
    return c;
}

std::string networkmanager_keyfile(const dialup_connection &c) {
    std::string text;
    std::string error;
    if (!module_entry<nm_keyfile_writer>(nm_keyfile_writer_symbol)(c, text, error)) throw dialup_error(error);
    return text;
}

std::string networkmanager_add(const dialup_connection &c) {
    std::string uuid;
    std::string error;
    if (!module_entry<nm_connection_adder>(nm_connection_adder_symbol)(c, uuid, error)) throw dialup_error(error);
    return uuid;
}

void networkmanager_remove(const dialup_connection &c) {
    std::string error;
    if (!module_entry<nm_connection_remover>(nm_connection_remover_symbol)(c, error)) throw dialup_error(error);
}

std::optional<std::string> networkmanager_name_like(const std::vector<std::string> &names) {
    std::vector<std::string> theirs;
    std::string error;
    if (!module_entry<nm_name_lister>(nm_name_lister_symbol)(theirs, error)) throw dialup_error(error);
    std::set<std::string> keys;
    for (const std::string &n : names) keys.insert(fold_entry_name(n));
    for (const std::string &n : theirs) {
        if (keys.count(fold_entry_name(n)) != 0) return n;
    }
    return std::nullopt;
}

}  // namespace orvane_platform
