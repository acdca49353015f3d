// The process itself, as a holder of secrets.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace orvane_platform {

// No core file of this process: it holds passwords (as ssh-agent and gpg-agent do).
void disable_core_dumps();

// The program file GetModuleFileName names, and so the data files beside it; empty: this
// process's own (/proc/self/exe). The device tool shows the dialog of the program it names.
void set_module_path(const std::string &utf8_path);

// The file of the running process (/proc/self/exe); empty, with the reason in `ec`, when the
// system does not say.
std::filesystem::path running_program(std::error_code &ec);
std::string &module_path_override();

}  // namespace orvane_platform
