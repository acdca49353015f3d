// The NetworkManager module's entry points. libnm brings GLib and some twenty libraries more,
// whose loading would otherwise slow every start of the dialog and the tools.
#pragma once

#include <string>
#include <vector>

#include "dialup.h"

namespace orvane_platform {

// Each gives false, with the reason in `error`: no exception may cross the module's edge.
using nm_keyfile_writer = bool (*)(const dialup_connection &c, std::string &text, std::string &error) noexcept;
inline constexpr const char *nm_keyfile_writer_symbol = "orvane_networkmanager_keyfile";

using nm_connection_adder = bool (*)(const dialup_connection &c, std::string &uuid, std::string &error) noexcept;
inline constexpr const char *nm_connection_adder_symbol = "orvane_networkmanager_add";

using nm_connection_remover = bool (*)(const dialup_connection &c, std::string &error) noexcept;
inline constexpr const char *nm_connection_remover_symbol = "orvane_networkmanager_remove";

using nm_name_lister = bool (*)(std::vector<std::string> &names, std::string &error) noexcept;
inline constexpr const char *nm_name_lister_symbol = "orvane_networkmanager_names";

}  // namespace orvane_platform
