#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "nm_module.h"
#include "tool_io.h"

namespace orvane_export {

namespace {

// The module's entry point of that name, the module loaded at the first call and kept.
void *module_symbol(const char *name) {
    namespace fs = std::filesystem;
    static void *module = nullptr;
    if (module == nullptr) {
        std::error_code ec;
        fs::path self = orvane_tools::running_program(ec);
        if (ec) throw export_error("the NetworkManager export cannot find its module: /proc/self/exe: " + ec.message());
        // Beside the program in a build tree; in the private folder once installed.
        const fs::path candidates[] = {self.parent_path() / ORVANE_NM_MODULE,
                                       (self.parent_path() / ORVANE_NM_MODULE_FROM_BINDIR).lexically_normal()};
        const fs::path *found = nullptr;
        for (const fs::path &p : candidates) {
            if (fs::is_regular_file(p, ec)) {
                found = &p;
                break;
            }
        }
        if (found == nullptr) {
            throw export_error("the NetworkManager export needs " + candidates[1].string() +
                               ", which is missing; reinstall the package");
        }
        module = dlopen(found->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            throw export_error(std::string("the NetworkManager export cannot be loaded: ") + dlerror());
        }
    }
    void *symbol = dlsym(module, name);
    if (symbol == nullptr) throw export_error("the NetworkManager export module has no " + std::string(name));
    return symbol;
}

}  // namespace

std::string networkmanager_keyfile_by_module(const connection &c) {
    auto writer = reinterpret_cast<keyfile_writer>(module_symbol(keyfile_writer_symbol));
    std::string text;
    std::string error;
    if (!writer(c, text, error)) throw export_error(error);
    return text;
}

std::string networkmanager_add_by_module(const connection &c) {
    auto adder = reinterpret_cast<connection_adder>(module_symbol(connection_adder_symbol));
    std::string uuid;
    std::string error;
    if (!adder(c, uuid, error)) throw export_error(error);
    return uuid;
}

}  // namespace orvane_export
