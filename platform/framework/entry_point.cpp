// The process entry: the screen, then the application object's start-up.
#include <afxwin.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../device/device.h"
#include "../display/pixel_display.h"
#include "../display/terminal_display.h"
#include "../kernel/process.h"
#include "../user/window_core.h"

namespace {

int run_on(orvane_platform::display &screen) {
    orvane_platform::set_display(&screen);
    int width = 0;
    int height = 0;
    screen.size(width, height);
    orvane_platform::screen_resized(width, height);
    int result = AfxWinMain();
    orvane_platform::set_display(nullptr);
    return result;
}

// Said once the screen is put back, so that it stays readable in the terminal.
void print_notices() {
    for (const std::string &n : orvane_platform::take_device_notices()) std::fprintf(stderr, "orvanecmgr: %s\n", n.c_str());
}

// The handheld's screen in a desktop window, as device.toml's [screen] describes it.
int run_in_window() {
    orvane_platform::device_profile profile = orvane_platform::load_device_profile();
    if (!profile.valid) {
        std::fprintf(stderr, "orvanecmgr: %s; the screen is 240 x 320 at 96 dpi\n", profile.error.c_str());
    }
    for (const std::string &w : profile.warnings) std::fprintf(stderr, "orvanecmgr: %s\n", w.c_str());
    const auto &s = profile.screen;
    std::string error;
    auto screen = orvane_platform::make_pixel_display({s.width, s.height, s.dpi, s.zoom}, true, error);
    if (screen == nullptr) {
        std::fprintf(stderr, "orvanecmgr: %s\n", error.c_str());
        return 1;
    }
    int result = run_on(*screen);
    int sig = screen->ending_signal();
    screen.reset();
    print_notices();
    if (sig != 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    return result;
}

}  // namespace

int main(int argc, char **argv) {
    orvane_platform::disable_core_dumps();  // the dialog holds the passwords typed into it
    std::setlocale(LC_ALL, "");
    // The handheld starts the program without arguments; asked for help, it answers instead
    // of opening the dialog.
    if (argc > 1) {
        const std::string first = argv[1];
        if (argc == 2 && (first == "--help" || first == "-h")) {
            std::printf("Usage: orvanecmgr\n"
                        "Shows the dialog that creates a cellular data connection, in this terminal,\n"
                        "or in a desktop window with ORVANE_DISPLAY=window. It takes no arguments;\n"
                        "ORVANE_DEVICE names the simulated handheld's folder. See orvanecmgr(1).\n");
            if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
            std::fprintf(stderr, "orvanecmgr: cannot write to standard output\n");
            return 1;
        }
        std::fprintf(stderr, "orvanecmgr: takes no arguments (orvanecmgr --help says more)\n");
        return 2;
    }
    const char *which = std::getenv("ORVANE_DISPLAY");
    std::string display = which != nullptr ? which : "";
    if (display == "window") return run_in_window();
    if (!display.empty() && display != "terminal") {
        std::fprintf(stderr, "orvanecmgr: ORVANE_DISPLAY=%s is no display; use terminal (the default) or window\n",
                     display.c_str());
        return 1;
    }
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
        std::fprintf(stderr, "orvanecmgr: needs a terminal to show its dialog\n");
        return 1;
    }
    std::string why;
    if (!orvane_platform::terminal_display::usable(why)) {
        std::fprintf(stderr, "orvanecmgr: %s\n", why.c_str());
        return 1;
    }
    int result = 0;
    int sig = 0;
    {
        orvane_platform::terminal_display screen;
        result = run_on(screen);
        sig = screen.ending_signal();
    }
    print_notices();
    // The screen is restored; a signal that ended the dialog now ends the program as it would have.
    if (sig != 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    return result;
}
