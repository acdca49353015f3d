// The pixel display: the handheld's screen drawn in pixels, shown in a desktop window or kept
// offscreen for screenshots. It lives in a module of its own, loaded only when asked for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "display.h"

namespace orvane_platform {

struct pixel_screen {
    int width = 240;
    int height = 320;
    int dpi = 96;
    int zoom = 2;  // desktop pixels a side for one of the screen's
};

// A text the surface cut at its box or at the edge of what shows: how wide and high it is,
// how much room it had, and the window that painted it.
struct cut_text {
    std::u32string text;
    int width = 0;
    int room = 0;
    int height = 0;
    int room_height = 0;
    HWND window = nullptr;
};

class pixel_display : public display {
public:
    // Notes in `cuts` every text cut from now on; nullptr stops.
    virtual void record_cuts(std::vector<cut_text> *cuts) = 0;
    // The last frame as a PNG file's bytes; empty, with `error` set, when it cannot be made.
    virtual std::string png(std::string &error) = 0;
    // The family of the face the system font was loaded from.
    virtual std::string font_family() = 0;
};

// window: a desktop window that takes keys and clicks; otherwise offscreen, with no input.
using pixel_display_maker = pixel_display *(*)(const pixel_screen &screen, bool window, std::string &error);
inline constexpr const char *pixel_display_maker_symbol = "orvane_make_pixel_display";

// Loads the module and makes the display; nullptr, with `error` set, when either fails.
std::unique_ptr<pixel_display> make_pixel_display(const pixel_screen &screen, bool window, std::string &error);

}  // namespace orvane_platform

// The module's entry point, found by that name; the tests link the module's objects and call it.
extern "C" orvane_platform::pixel_display *orvane_make_pixel_display(const orvane_platform::pixel_screen &screen,
                                                                     bool window, std::string &error);
