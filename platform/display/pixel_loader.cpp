#include <dlfcn.h>

#include <string>

#include "../common/private_module.h"
#include "pixel_display.h"

namespace orvane_platform {

std::unique_ptr<pixel_display> make_pixel_display(const pixel_screen &screen, bool window, std::string &error) {
    static void *module = nullptr;
    if (module == nullptr) {
        module = load_private_module("the pixel display", ORVANE_PIXELS_MODULE, ORVANE_PIXELS_MODULE_FROM_BINDIR, error);
        if (module == nullptr) return nullptr;
    }
    auto maker = reinterpret_cast<pixel_display_maker>(dlsym(module, pixel_display_maker_symbol));
    if (maker == nullptr) {
        error = std::string("the pixel display's module has no ").append(pixel_display_maker_symbol);
        return nullptr;
    }
    return std::unique_ptr<pixel_display>(maker(screen, window, error));
}

}  // namespace orvane_platform
