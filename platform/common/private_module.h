// Modules that ship with the programs and are loaded only when their work is asked for.
#pragma once

#include <string>

namespace orvane_platform {

// The entry point `symbol` of the module `file`: loaded from the running program's folder (a
// build tree, or the installed dialog's private folder), else from `from_bindir` relative to
// it (the tools, installed in bin/), at the first call, and kept. nullptr, with `error` saying
// what `what` needs or why it did not load.
void *private_module_symbol(const std::string &what, const std::string &file, const std::string &from_bindir,
                            const char *symbol, std::string &error);

}  // namespace orvane_platform
