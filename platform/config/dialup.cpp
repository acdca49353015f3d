#include "dialup.h"

#include <set>

#include "../common/private_module.h"
#include "../common/service_call.h"
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

std::optional<pdp_context> context_in_modifier(const std::string &modifier) {
    const std::string head = "+CGDCONT=";
    if (modifier.compare(0, head.size(), head) != 0) return std::nullopt;
    std::size_t at = head.size();
    const std::size_t digits = at;
    while (at < modifier.size() && modifier[at] >= '0' && modifier[at] <= '9') ++at;
    if (at == digits || at >= modifier.size() || modifier[at] != ',') return std::nullopt;
    for (const char *type : {"IP", "IPV6", "IPV4V6"}) {
        const std::string quoted = std::string(",\"") + type + "\",\"";
        if (modifier.compare(at, quoted.size(), quoted) != 0) continue;
        const std::size_t apn = at + quoted.size();
        if (modifier.size() < apn + 1 || modifier.back() != '"') return std::nullopt;
        return pdp_context{type, modifier.substr(apn, modifier.size() - apn - 1)};
    }
    return std::nullopt;
}

dialup_connection dialup_connection_of(const stored_entry &e, const device_profile *profile) {
    dialup_connection c;
    c.name = e.name;
    c.created = e.created;
    c.phone = parm_value(e, "Phone");
    c.user = parm_value(e, "UserName");
    c.password = parm_value(e, "Password");
    c.device_name = parm_value(e, "DeviceName");
    const std::string raw = parm_value(e, "DeviceSpecificRAW");
    // An entry made without a configuration block dials at the speed Create sets, without a context.
    c.baud = 115200;
    if (!raw.empty()) {
        auto block = decode_modem_config_hex(raw);
        if (!block) throw dialup_error("the entry's device configuration cannot be read");
        c.baud = block->baud_rate;
        if (auto context = context_in_modifier(to_utf8(block->dial_modifier))) {
            c.apn = context->apn;
            c.pdp_type = context->type;
        }
    }
    c.device_id = device_identity();
    if (profile != nullptr) {
        const std::u16string name = from_utf8(c.device_name);
        for (const modem_profile &m : profile->modems) {
            if (m.name != name) continue;
            c.modem_id = m.manager_id;
            if (m.sim.present) c.sim_operator_id = m.sim.operator_id;
        }
    }
    return c;
}

std::string networkmanager_keyfile(const dialup_connection &c) {
    std::string text;
    std::string error;
    if (!module_entry<nm_keyfile_writer>(nm_keyfile_writer_symbol)(c, text, error)) throw dialup_error(error);
    return text;
}

std::string networkmanager_uuid(const dialup_connection &c) {
    std::string uuid;
    std::string error;
    if (!module_entry<nm_uuid_maker>(nm_uuid_maker_symbol)(c, uuid, error)) throw dialup_error(error);
    return uuid;
}

std::string networkmanager_add(const dialup_connection &c) {
    std::string uuid;
    std::string error;
    if (!module_entry<nm_connection_adder>(nm_connection_adder_symbol)(c, service_limits(), uuid, error)) {
        throw dialup_error(error);
    }
    return uuid;
}

std::optional<std::string> networkmanager_remove(const dialup_connection &c, removal why) {
    std::optional<std::string> removed;
    std::string error;
    service_call limits = service_limits();
    if (why == removal::undo) limits.ending = nullptr;
    if (!module_entry<nm_connection_remover>(nm_connection_remover_symbol)(c, limits, removed, error)) {
        throw dialup_error(error);
    }
    return removed;
}

std::vector<connection_ref> networkmanager_connections() {
    std::vector<connection_ref> all;
    std::string error;
    if (!module_entry<nm_connection_lister>(nm_connection_lister_symbol)(service_limits(), all, error)) {
        throw dialup_error(error);
    }
    return all;
}

std::optional<std::string> name_like(const std::vector<connection_ref> &theirs, const std::vector<std::string> &names) {
    std::set<std::string> keys;
    for (const std::string &n : names) keys.insert(fold_entry_name(n));
    for (const connection_ref &c : theirs) {
        if (keys.count(fold_entry_name(c.id)) != 0) return c.id;
    }
    return std::nullopt;
}

}  // namespace orvane_platform
