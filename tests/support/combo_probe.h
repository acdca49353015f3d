// A combo box seen from outside, through its messages and the screen the display shows.
#pragma once

#include <string>

#include "display/headless_display.h"
#include "user/window_core.h"

namespace orvane_test {

inline int combo_count(HWND c) { return static_cast<int>(SendMessage(c, CB_GETCOUNT, 0, 0)); }
inline int combo_selected(HWND c) { return static_cast<int>(SendMessage(c, CB_GETCURSEL, 0, 0)); }
inline int combo_top(HWND c) { return static_cast<int>(SendMessage(c, CB_GETTOPINDEX, 0, 0)); }
inline std::u16string combo_entry(HWND c, int i) {
    LRESULT n = SendMessage(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n < 0) return u"<err>";
    std::u16string text(static_cast<std::size_t>(n) + 1, u'\0');
    SendMessage(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// The frame the display shows after a paint pass.
inline const orvane_platform::cell_grid &painted(orvane_platform::headless_display &screen) {
    orvane_platform::refresh_display();
    return screen.last_frame();
}

// An open list where the screen shows it: the rows between the bars drawn as a list (framed,
// or the marked entry's reverse video); no message box may be up.
struct shown_list {
    int top = -1;
    int rows = 0;
    int col = -1;
    int width = 0;
};
inline shown_list open_list_on(const orvane_platform::cell_grid &g) {
    shown_list l;
    for (int r = 1; r + 1 < g.rows; ++r) {
        int first = -1, last = -1;
        for (int c = 0; c < g.columns; ++c) {
            if ((g.at(c, r)->attr & (orvane_platform::attr_frame | orvane_platform::attr_reverse)) == 0) continue;
            if (first < 0) first = c;
            last = c;
        }
        if (first < 0) {
            if (l.top >= 0) break;
            continue;
        }
        if (l.top < 0) {
            l.top = r;
            l.col = first;
            l.width = last - first + 1;
        }
        ++l.rows;
    }
    return l;
}

// The entry an open list marks: where the screen puts the cursor.
inline int combo_marked(orvane_platform::headless_display &screen, HWND c) {
    const orvane_platform::cell_grid &g = painted(screen);
    return g.cursor_row - open_list_on(g).top + combo_top(c);
}

}  // namespace orvane_test
