#include "dialup.h"

#include <dlfcn.h>

#include "../common/private_module.h"
#include "../common/utf.h"
#include "../device/device.h"
#include "../telephony/modem_config.h"
#include "nm_module.h"

namespace orvane_platform {
namespace {

std::string value_of(const stored_entry &e, const std::string &name) {
    for (const auto &[k, v] : e.parms) {
        if (k == name) return v;
    }
    return {};
}

// The module's entry point of that name, the module loaded at the first call and kept.
void *module_symbol(const char *name) {
    static void *module = nullptr;
    if (module == nullptr) {
        std::string error;
        module = load_private_module("NetworkManager's connections", ORVANE_NM_MODULE, ORVANE_NM_MODULE_FROM_BINDIR,
                                     error);
        if (module == nullptr) throw dialup_error(error);
    }
    void *symbol = dlsym(module, name);
    if (symbol == nullptr) throw dialup_error("the NetworkManager module has no " + std::string(name));
    return symbol;
}

template <typename Entry>
Entry module_entry(const char *name) {
    return reinterpret_cast<Entry>(module_symbol(name));
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
    c.phone = value_of(e, "Phone");
    c.user = value_of(e, "UserName");
    c.password = value_of(e, "Password");
    c.device_name = value_of(e, "DeviceName");
    auto block = decode_modem_config_hex(value_of(e, "DeviceSpecificRAW"));
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

std::optional<std::string> networkmanager_name_like(const std::string &name) {
    std::vector<std::string> names;
    std::string error;
    if (!module_entry<nm_name_lister>(nm_name_lister_symbol)(names, error)) throw dialup_error(error);
    const std::string key = fold_entry_name(name);
    for (const std::string &n : names) {
        if (fold_entry_name(n) == key) return n;
    }
    return std::nullopt;
}

}  // namespace orvane_platform
