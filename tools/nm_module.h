// The NetworkManager export is a module loaded only when an export to NetworkManager is
// asked for: libnm brings GLib and some twenty libraries more, whose loading would
// otherwise slow every command of the tool.
#pragma once

#include <string>

#include "export.h"

namespace orvane_export {

// The module's entry point; a refusal comes back in `error`, as no exception may cross it.
using keyfile_writer = bool (*)(const connection &c, std::string &text, std::string &error) noexcept;
inline constexpr const char *keyfile_writer_symbol = "orvane_networkmanager_keyfile";

using connection_adder = bool (*)(const connection &c, std::string &uuid, std::string &error) noexcept;
inline constexpr const char *connection_adder_symbol = "orvane_networkmanager_add";

// networkmanager_keyfile and networkmanager_add, through the module found beside the running
// program or in the installed program's private folder. Throw export_error when it cannot be
// loaded, or with what the module refused.
std::string networkmanager_keyfile_by_module(const connection &c);
std::string networkmanager_add_by_module(const connection &c);

}  // namespace orvane_export
