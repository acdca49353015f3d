// A combo box seen from outside, through its messages and the painted screen.
#pragma once

#include <string>

#include "user/window_system.h"

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
// The entry an open list marks: where the painted screen puts the cursor.
inline int combo_marked(HWND c) {
    orvane_platform::cell_grid g;
    orvane_platform::paint_screen(g);
    return g.cursor_row - orvane_platform::open_list_place(c).top + combo_top(c);
}

}  // namespace orvane_test
