#include "private_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <system_error>

#include "../kernel/process.h"

namespace orvane_platform {
namespace {

void *load_private_module(const std::string &what, const std::string &file, const std::string &from_bindir,
                          std::string &error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path self = running_program(ec);
    if (ec) {
        error = what + " cannot find its module: /proc/self/exe: " + ec.message();
        return nullptr;
    }
    const fs::path candidates[] = {self.parent_path() / file, (self.parent_path() / from_bindir).lexically_normal()};
    for (const fs::path &p : candidates) {
        if (!fs::is_regular_file(p, ec)) continue;
        void *module = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) error = what + " cannot be loaded: " + dlerror();
        return module;
    }
    // A build tree makes its modules beside the program; a package installs them under lib/.
    if (fs::exists(self.parent_path() / "CMakeCache.txt", ec)) {
        error = what + " needs " + candidates[0].string() + ", which is not built yet: cmake --build " +
                self.parent_path().string() + " --target " + fs::path(file).stem().string();
    } else {
        error = what + " needs " + candidates[1].string() + ", which is missing; reinstall the package";
    }
    return nullptr;
}

}  // namespace

void *private_module_symbol(const std::string &what, const std::string &file, const std::string &from_bindir,
                            const char *symbol, std::string &error) {
    static std::map<std::string, void *> loaded;
    void *&module = loaded[file];
    if (module == nullptr) module = load_private_module(what, file, from_bindir, error);
    if (module == nullptr) return nullptr;
    void *found = dlsym(module, symbol);
    if (found == nullptr) error = "the module of " + what + " has no " + symbol;
    return found;
}

}  // namespace orvane_platform
