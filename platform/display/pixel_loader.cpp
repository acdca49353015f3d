#include <string>

#include "../common/private_module.h"
#include "pixel_display.h"

namespace orvane_platform {

std::unique_ptr<pixel_display> make_pixel_display(const pixel_screen &screen, bool window, std::string &error) {
    auto maker = reinterpret_cast<pixel_display_maker>(private_module_symbol(
        "the pixel display", ORVANE_PIXELS_MODULE, ORVANE_PIXELS_MODULE_FROM_BINDIR, pixel_display_maker_symbol, error));
    if (maker == nullptr) return nullptr;
    return std::unique_ptr<pixel_display>(maker(screen, window, error));
}

}  // namespace orvane_platform
