// A stored entry as the engines that dial on Linux take it, and its place in the running
// NetworkManager.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    std::uint32_t baud = 0;
    std::string device_id;  // the handheld's own identity, so that UUIDs differ between handhelds
    std::string modem_id;   // ModemManager's identifier of the modem it dials on; empty: any modem
};

// Throws dialup_error when the entry's device configuration block cannot be read, and
// std::runtime_error when the handheld's identity cannot be read.
dialup_connection dialup_connection_of(const stored_entry &e);
// The APN of a dial modifier +CGDCONT=1,"IP","<apn>"; none for any other modifier.
std::optional<std::string> apn_in_modifier(const std::string &modifier);

// Through the NetworkManager module (libnm), loaded at the first call; each throws
// dialup_error when the module cannot be loaded, NetworkManager is not running, or it refuses.
// The keyfile text, written by libnm.
std::string networkmanager_keyfile(const dialup_connection &c);
// Added to the running NetworkManager, kept on disk; gives its UUID.
std::string networkmanager_add(const dialup_connection &c);
// Removed from it; nothing to do when it has no connection of that entry (one removed there).
void networkmanager_remove(const dialup_connection &c);
// The name of its first connection that is one of `names` as entry names compare (case
// folded), if any; asked once for them all.
std::optional<std::string> networkmanager_name_like(const std::vector<std::string> &names);

}  // namespace orvane_platform
