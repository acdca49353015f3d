// The edit control and the edit field of a drop-down combo box: text, caret and keys.
#include <algorithm>

#include "../common/utf.h"
#include "window_system.h"

namespace orvane_platform {

LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case EM_LIMITTEXT:
        w->limit = wp == 0 ? 0x7FFFFFFE : wp;
        return 0;
    case EM_SETSEL:
        w->caret = std::min(w->text.size(), static_cast<std::size_t>(lp < 0 ? w->text.size() : lp));
        return 0;
    case WM_SETTEXT:
        // The typing limit does not apply to text set by program.
        w->caret = std::u16string_view(lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"").size();
        w->scroll = 0;
        [[fallthrough]];
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}


bool edit_key(HWND w, const input_event &e) {
    std::u16string &t = w->text;
    w->caret = std::min(w->caret, t.size());
    switch (e.k) {
    case key::character:
        if (e.ch < 0x20 || e.ch == 0x7F) return false;
        {
            std::u16string units;
            append_utf16(units, e.ch);
            // The limit stops typing only; text set by program may be longer.
            if (t.size() + units.size() > w->limit) return true;
            t.insert(w->caret, units);
            w->caret += units.size();
        }
        return true;
    case key::backspace:
        if (w->caret > 0) {
            std::size_t n = w->caret >= 2 && t[w->caret - 1] >= 0xDC00 && t[w->caret - 1] <= 0xDFFF &&
                                    t[w->caret - 2] >= 0xD800 && t[w->caret - 2] <= 0xDBFF
                                ? 2
                                : 1;
            t.erase(w->caret - n, n);
            w->caret -= n;
        }
        return true;
    case key::del:
        if (w->caret < t.size()) {
            std::size_t n = w->caret + 1 < t.size() && t[w->caret] >= 0xD800 && t[w->caret] <= 0xDBFF ? 2 : 1;
            t.erase(w->caret, n);
        }
        return true;
    case key::left:
        if (w->caret > 0) --w->caret;
        return true;
    case key::right:
        if (w->caret < t.size()) ++w->caret;
        return true;
    case key::home:
        w->caret = 0;
        return true;
    case key::end:
        w->caret = t.size();
        return true;
    default:
        return false;
    }
}

void edit_click(HWND w, int cells) {
    // The painter keeps the scroll in characters and the caret in units: walk both.
    std::size_t unit = 0;
    std::size_t skipped = 0;
    auto next = [&](std::size_t at) {
        bool pair = at + 1 < w->text.size() && w->text[at] >= 0xD800 && w->text[at] <= 0xDBFF &&
                    w->text[at + 1] >= 0xDC00 && w->text[at + 1] <= 0xDFFF;
        return at + (pair ? 2 : 1);
    };
    while (unit < w->text.size() && skipped < w->scroll) {
        unit = next(unit);
        ++skipped;
    }
    bool masked = (w->style & ES_PASSWORD) != 0 && w->type == HWND__::kind::edit;
    int used = 0;
    while (unit < w->text.size()) {
        std::size_t after = next(unit);
        int width = 1;
        if (!masked) {
            std::u16string_view one = std::u16string_view(w->text).substr(unit, after - unit);
            width = text_cells(one);
        }
        if (used + width > cells) break;
        used += width;
        unit = after;
    }
    w->caret = unit;
}

}  // namespace orvane_platform
