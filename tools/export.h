// A stored connection entry as a connection of the engines that dial on Linux:
// a NetworkManager keyfile, or a pppd peers file with its chat script.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/connection_store.h"

namespace orvane_export {

struct export_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the engines need of an entry, UTF-8.
struct connection {
    std::string name;
    std::string created;
    std::string phone;
    std::string user;
    std::string password;
    std::string device_name;
    std::optional<std::string> apn;  // from the dial modifier; none without one
    std::uint32_t baud = 0;
    std::string device_id;  // the handheld's own identity, so that UUIDs differ between handhelds
};

// Throws export_error when the entry's device configuration block cannot be read.
connection connection_of(const orvane_platform::stored_entry &e);
// The APN of a dial modifier +CGDCONT=1,"IP","<apn>"; none for any other modifier.
std::optional<std::string> apn_in_modifier(const std::string &modifier);
// A name-based (version 5) UUID under this program's own namespace.
std::string name_based_uuid(const std::string &name);

// The keyfile text, written by libnm; throws export_error when libnm refuses the connection.
std::string networkmanager_keyfile(const connection &c);
// The connection added to the running NetworkManager through its D-Bus API and kept on disk;
// gives its UUID. Throws export_error when NetworkManager is not running or refuses it.
std::string networkmanager_add(const connection &c);

struct pppd_files {
    std::string peers;  // the peers file
    std::string chat;   // its chat script
};
// `port` is the serial device, `chat_path` where the chat script will lie. Throws
// export_error for a value that pppd, chat or the modem cannot take.
pppd_files pppd_export(const connection &c, const std::string &port, const std::string &chat_path);
// The name of the peers file, one that `pon` takes as it is: letters, digits, ".", "_", "+"
// and "-" kept, every other character made "_", and no "-" first.
std::string pppd_file_name(const std::string &name);

// One word for sh: in single quotes, each ' written as '\\''.
std::string shell_word(std::string_view value);

}  // namespace orvane_export
