#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "pixel_display.h"

namespace orvane_platform {
namespace {

std::string program_folder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::unique_ptr<pixel_display> make_pixel_display(const pixel_screen &screen, bool window, std::string &error) {
    static void *module = nullptr;
    if (module == nullptr) {
        std::string folder = program_folder();
        // Beside the program in a build tree and for the installed program; from the
        // tools' folder to the private one once installed.
        std::string candidates[] = {folder + ORVANE_PIXELS_MODULE, folder + ORVANE_PIXELS_MODULE_FROM_BINDIR};
        std::string why;
        for (const std::string &p : candidates) {
            if (access(p.c_str(), F_OK) != 0) continue;
            module = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module != nullptr) break;
            why = dlerror();
        }
        if (module == nullptr) {
            error = why.empty() ? std::string("the pixel display needs ").append(candidates[1]).append(", which is missing; reinstall the package")
                                : std::string("the pixel display cannot be loaded: ").append(why);
            return nullptr;
        }
    }
    auto maker = reinterpret_cast<pixel_display_maker>(dlsym(module, pixel_display_maker_symbol));
    if (maker == nullptr) {
        error = std::string("the pixel display's module has no ").append(pixel_display_maker_symbol);
        return nullptr;
    }
    return std::unique_ptr<pixel_display>(maker(screen, window, error));
}

}  // namespace orvane_platform
