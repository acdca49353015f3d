// Whether the terminal can show a full-screen dialog; kept apart from the display because
// the terminal database's header defines names such as "columns" and "lines" as macros.
#include "terminal_display.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#define NCURSES_WIDECHAR 1
#include <ncursesw/ncurses.h>
#include <ncursesw/term.h>

namespace orvane_platform {

bool terminal_display::usable(std::string &why) {
    int error = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) {
        const char *term = std::getenv("TERM");
        why = error == -1 ? "the terminal database cannot be found"
                          : std::string("the terminal type \"") + (term != nullptr ? term : "") + "\" is not known";
        return false;
    }
    char *cup = tigetstr(const_cast<char *>("cup"));
    bool paper_only = tigetflag(const_cast<char *>("hc")) > 0;
    del_curterm(cur_term);
    if (paper_only || cup == nullptr || cup == reinterpret_cast<char *>(-1)) {
        const char *term = std::getenv("TERM");
        why = std::string("the terminal (TERM=") + (term != nullptr ? term : "") +
              ") cannot move its cursor; a full-screen terminal is needed";
        return false;
    }
    return true;
}

}  // namespace orvane_platform
