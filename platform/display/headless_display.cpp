#include "headless_display.h"

#include "../common/utf.h"

namespace orvane_platform {

namespace {
display *active_display = nullptr;
}

void set_display(display *d) { active_display = d; }
display *current_display() { return active_display; }
int ending_signal() noexcept { return active_display != nullptr ? active_display->ending_signal() : 0; }

std::string cell_grid::row_text(int r) const {
    std::u16string s;
    for (int c = 0; c < columns; ++c) {
        const cell *p = at(c, r);
        if (p->ch == 0) continue;  // the second cell of a wide character
        append_utf16(s, p->ch);
        for (char32_t m : marks_of(*p)) append_utf16(s, m);
    }
    return to_utf8(s);
}

std::string cell_grid::text() const {
    std::string out;
    for (int r = 0; r < rows; ++r) out += row_text(r) + "\n";
    return out;
}

input_event headless_display::wait_event() {
    if (script_.empty() && on_idle) on_idle(*this);
    if (script_.empty()) return {};
    input_event e = script_.front();
    script_.pop_front();
    return e;
}

void headless_display::push_key(key k, char32_t ch) {
    input_event e;
    e.type = input_event::kind::key;
    e.k = k;
    e.ch = ch;
    script_.push_back(e);
}

void headless_display::push_text(const std::u32string &text) {
    for (char32_t c : text) push_key(key::character, c);
}

void headless_display::push_click(int column, int row, input_event::kind what) {
    input_event e;
    e.type = what;
    e.column = column;
    e.row = row;
    script_.push_back(e);
}

void headless_display::resize(int columns, int rows) {
    columns_ = columns;
    rows_ = rows;
    input_event e;
    e.type = input_event::kind::resize;
    script_.push_back(e);
}

}  // namespace orvane_platform
