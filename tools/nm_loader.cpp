#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "nm_module.h"
#include "tool_io.h"

namespace orvane_export {

std::string networkmanager_keyfile_by_module(const connection &c) {
    namespace fs = std::filesystem;
    static keyfile_writer writer = nullptr;
    if (writer == nullptr) {
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
        void *module = dlopen(found->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            throw export_error(std::string("the NetworkManager export cannot be loaded: ") + dlerror());
        }
        // Kept loaded: the writer is used until the program ends.
        writer = reinterpret_cast<keyfile_writer>(dlsym(module, keyfile_writer_symbol));
        if (writer == nullptr) {
            throw export_error(found->string() + " is not this program's NetworkManager export module");
        }
    }
    std::string text;
    std::string error;
    if (!writer(c, text, error)) throw export_error(error);
    return text;
}

}  // namespace orvane_export
