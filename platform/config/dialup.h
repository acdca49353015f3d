// A stored entry as the engines that dial on Linux take it, and its place in the running
// NetworkManager.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../device/device.h"
#include "connection_store.h"

namespace orvane_platform {

// What an engine that dials refuses of an entry, or why it cannot be asked.
struct dialup_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the engines need of an entry, UTF-8.
struct dialup_connection {
    std::string name;
    std::string created;
    std::string phone;
    std::string user;
    std::string password;
    std::string device_name;
    std::optional<std::string> apn;  // from the dial modifier; none without one
    std::string pdp_type = "IP";     // the context type the modifier asks for: IP, IPV6 or IPV4V6
    std::uint32_t baud = 0;
    std::string device_id;  // the handheld's own identity, so that UUIDs differ between handhelds
    std::string modem_id;   // ModemManager's identifier of the modem it dials on; empty: any modem
    // The operator identifier of the SIM in that modem when the entry was made; empty: any SIM.
    std::string sim_operator_id;
};

// A connection of NetworkManager's, as far as the program needs it.
struct connection_ref {
    std::string id;  // its name
    std::string uuid;
};

// Throws dialup_error when the entry's device configuration block cannot be read, and
// std::runtime_error when the handheld's identity cannot be read. With `profile`, the entry is
// bound to its modem when that is one of ModemManager's.
dialup_connection dialup_connection_of(const stored_entry &e, const device_profile *profile = nullptr);

// The context a dial modifier +CGDCONT=<cid>,"<type>","<apn>" defines, for the types IP, IPV6
// and IPV4V6; none for any other modifier.
struct pdp_context {
    std::string type;
    std::string apn;
};
std::optional<pdp_context> context_in_modifier(const std::string &modifier);

// Through the NetworkManager module (libnm), loaded at the first call; each throws
// dialup_error when the module cannot be loaded, NetworkManager is not running, does not
// answer within the service timeout, or refuses.
// The keyfile text, written by libnm.
std::string networkmanager_keyfile(const dialup_connection &c);
// The UUID the entry's connection has.
std::string networkmanager_uuid(const dialup_connection &c);
// Added to the running NetworkManager, kept on disk; gives its UUID.
std::string networkmanager_add(const dialup_connection &c);
// Removed from it; gives the name the connection had there, none when NetworkManager had no
// connection of that entry (one removed there).
// An undo (of an addition that is not to stay) is made even while the program is ending.
enum class removal { asked, undo };
std::optional<std::string> networkmanager_remove(const dialup_connection &c, removal why = removal::asked);
// Every connection it has, read whole.
std::vector<connection_ref> networkmanager_connections();
// The name of the first of `theirs` that is one of `names` as entry names compare (case
// folded), if any.
std::optional<std::string> name_like(const std::vector<connection_ref> &theirs, const std::vector<std::string> &names);

}  // namespace orvane_platform
