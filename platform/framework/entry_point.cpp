// The process entry: the screen, then the application object's start-up.
#include <afxwin.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "../display/terminal_display.h"
#include "../kernel/process.h"
#include "../user/window_system.h"

int main() {
    orvane_platform::disable_core_dumps();  // the dialog holds the passwords typed into it
    std::setlocale(LC_ALL, "");
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
    {
        orvane_platform::terminal_display screen;
        orvane_platform::set_display(&screen);
        int columns = 0;
        int rows = 0;
        screen.size(columns, rows);
        orvane_platform::screen_resized(columns, rows);
        result = AfxWinMain();
        orvane_platform::set_display(nullptr);
    }
    // The screen is restored; a signal that ended the dialog now ends the program as it would have.
    if (int sig = orvane_platform::terminal_display::ending_signal(); sig != 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    return result;
}
