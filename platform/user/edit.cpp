// The edit control and the edit field of a drop-down combo box: text, caret, keys and look.
#include <algorithm>

#include "../common/utf.h"
#include "../display/surface.h"
#include "edit_field.h"
#include "window_system.h"

namespace orvane_platform {

LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        auto f = std::make_unique<edit_field>();
        f->caret = w->text.size();
        w->extra = std::move(f);
        return 0;
    }
    edit_field &f = *field_of(w);
    switch (msg) {
    case WM_PAINT:
        paint_field(*reinterpret_cast<device_context *>(wp), w, w->text, true, (w->style & ES_PASSWORD) != 0, 0);
        return 0;
    case wm_key:
        return (w->style & ES_READONLY) == 0 && edit_key(w, *reinterpret_cast<const input_event *>(lp)) ? TRUE : FALSE;
    case wm_click:
        edit_click(w, current_surface(), static_cast<int>(lp));
        return 0;
    case EM_LIMITTEXT:
        f.limit = wp == 0 ? 0x7FFFFFFE : wp;
        return 0;
    case EM_SETSEL:
        f.caret = std::min(w->text.size(), static_cast<std::size_t>(lp < 0 ? w->text.size() : lp));
        return 0;
    case WM_SETTEXT:
        // The typing limit does not apply to text set by program.
        f.caret = std::u16string_view(lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"").size();
        f.scroll = 0;
        [[fallthrough]];
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}


bool edit_key(HWND w, const input_event &e) {
    edit_field &f = *field_of(w);
    std::u16string &t = w->text;
    f.caret = std::min(f.caret, t.size());
    switch (e.k) {
    case key::character:
        if (e.ch < 0x20 || e.ch == 0x7F) return false;
        {
            std::u16string units;
            append_utf16(units, e.ch);
            // The limit stops typing only; text set by program may be longer.
            if (t.size() + units.size() > f.limit) return true;
            t.insert(f.caret, units);
            f.caret += units.size();
        }
        return true;
    case key::backspace:
        if (f.caret > 0) {
            std::size_t n = f.caret >= 2 && t[f.caret - 1] >= 0xDC00 && t[f.caret - 1] <= 0xDFFF &&
                                    t[f.caret - 2] >= 0xD800 && t[f.caret - 2] <= 0xDBFF
                                ? 2
                                : 1;
            t.erase(f.caret - n, n);
            f.caret -= n;
        }
        return true;
    case key::del:
        if (f.caret < t.size()) {
            std::size_t n = f.caret + 1 < t.size() && t[f.caret] >= 0xD800 && t[f.caret] <= 0xDBFF ? 2 : 1;
            t.erase(f.caret, n);
        }
        return true;
    case key::left:
        if (f.caret > 0) --f.caret;
        return true;
    case key::right:
        if (f.caret < t.size()) ++f.caret;
        return true;
    case key::home:
        f.caret = 0;
        return true;
    case key::end:
        f.caret = t.size();
        return true;
    default:
        return false;
    }
}

void edit_click(HWND w, surface &s, int x) {
    edit_field &f = *field_of(w);
    x -= s.metrics().border + s.metrics().padding;
    // The field keeps its scroll in characters and the caret in units: walk both.
    std::size_t unit = 0;
    std::size_t skipped = 0;
    auto next = [&](std::size_t at) {
        bool pair = at + 1 < w->text.size() && w->text[at] >= 0xD800 && w->text[at] <= 0xDBFF &&
                    w->text[at + 1] >= 0xDC00 && w->text[at + 1] <= 0xDFFF;
        return at + (pair ? 2 : 1);
    };
    while (unit < w->text.size() && skipped < f.scroll) {
        unit = next(unit);
        ++skipped;
    }
    bool masked = (w->style & ES_PASSWORD) != 0 && w->type == HWND__::kind::edit;
    int used = 0;
    while (unit < w->text.size()) {
        std::size_t after = next(unit);
        int width = s.text_width(masked ? std::u32string(U"*") : to_utf32(std::u16string_view(w->text).substr(unit, after - unit)));
        if (used + width > x) break;
        used += width;
        unit = after;
    }
    f.caret = unit;
}

void paint_field(device_context &dc, HWND w, std::u16string_view text, bool editable, bool masked, int reserved) {
    edit_field &f = *field_of(w);
    const surface_metrics &m = dc.metrics();
    bool focused = windows().focus == w;
    role how = focused ? role::field_focus : role::field;
    RECT box = dc.box();
    dc.fill(box, how);
    dc.frame(box, how);
    int inset = m.border + m.padding;
    RECT inner{box.left + inset, box.top + m.border, box.right - m.border - reserved - m.padding, box.bottom - m.border};
    int width = std::max(1, static_cast<int>(inner.right - inner.left));
    inner.right = inner.left + width;
    std::u32string chars = to_utf32(text);
    // One mask a character, an emoji's two units included.
    if (masked) chars.assign(chars.size(), U'*');
    std::size_t caret = std::min(to_utf32(text.substr(0, std::min(f.caret, text.size()))).size(), chars.size());
    // Keep the caret inside the field: the text scrolls sideways.
    std::size_t scroll = editable ? f.scroll : 0;
    auto run_width = [&](std::size_t from, std::size_t to) { return dc.text_width(std::u32string_view(chars).substr(from, to - from)); };
    if (editable) {
        if (caret < scroll) scroll = caret;
        while (scroll < caret && run_width(scroll, caret) >= width) ++scroll;
        f.scroll = scroll;
    }
    std::u32string_view visible = std::u32string_view(chars).substr(std::min(scroll, chars.size()));
    int y = inner.top + (static_cast<int>(inner.bottom - inner.top) - m.line) / 2;
    // A list's field shows where its text is cut; an edit field scrolls to its caret instead.
    dc.text(inner.left, y, inner, visible, how, !editable);
    // The focus stands on the focused field, at the caret where there is one, so that screen
    // readers follow it on the terminal.
    if (focused) {
        int before = editable ? run_width(scroll, caret) : 0;
        dc.caret(inner.left + std::min(before, width - 1), y, editable);
    }
}

}  // namespace orvane_platform
