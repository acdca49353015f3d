// The NetworkManager module's entry points. libnm brings GLib and some twenty libraries more,
// whose loading would otherwise slow every start of the dialog and the tools.
#pragma once

#include <string>
#include <vector>

#include <optional>

#include "../common/service_call.h"
#include "dialup.h"

namespace orvane_platform {

// Each gives false, with the reason in `error`: no exception may cross the module's edge.
using nm_keyfile_writer = bool (*)(const dialup_connection &c, std::string &text, std::string &error) noexcept;
inline constexpr const char *nm_keyfile_writer_symbol = "orvane_networkmanager_keyfile";

using nm_connection_adder = bool (*)(const dialup_connection &c, const service_call &limits, std::string &uuid,
                                     std::string &error) noexcept;
inline constexpr const char *nm_connection_adder_symbol = "orvane_networkmanager_add";

// `removed`: the name the connection had there; none when NetworkManager had none of the entry.
using nm_connection_remover = bool (*)(const dialup_connection &c, const service_call &limits,
                                       std::optional<std::string> &removed, std::string &error) noexcept;
inline constexpr const char *nm_connection_remover_symbol = "orvane_networkmanager_remove";

// Every connection, read whole, or false.
using nm_connection_lister = bool (*)(const service_call &limits, std::vector<connection_ref> &all,
                                      std::string &error) noexcept;
inline constexpr const char *nm_connection_lister_symbol = "orvane_networkmanager_connections";

using nm_uuid_maker = bool (*)(const dialup_connection &c, std::string &uuid, std::string &error) noexcept;
inline constexpr const char *nm_uuid_maker_symbol = "orvane_networkmanager_uuid";

}  // namespace orvane_platform
