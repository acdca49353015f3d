// The edit control and the edit field of a drop-down combo box: text, caret, keys and look.
#include <algorithm>

#include "../common/utf.h"
#include "../display/surface.h"
#include "controls.h"
#include "edit_field.h"

namespace orvane_platform {

namespace {

bool masked(HWND w) { return w->type == HWND__::kind::edit && (w->style & ES_PASSWORD) != 0; }

// The characters the field shows: one mask a character, an emoji's two units included.
std::u32string shown_chars(HWND w, std::u16string_view text) {
    std::u32string chars = to_utf32(text);
    if (masked(w)) chars.assign(chars.size(), U'*');
    return chars;
}

// Where the text inside a field's box goes.
RECT text_room(const surface_metrics &m, RECT box, int reserved) {
    RECT inner{box.left + m.border + m.padding, box.top + m.border, box.right - m.border - reserved - m.padding,
               box.bottom - m.border};
    inner.right = inner.left + std::max(1, static_cast<int>(inner.right - inner.left));
    return inner;
}

// The first character shown: the field's scroll, moved only as far as the caret needs to be
// in sight. Painting and clicks read it; keys and clicks keep it.
std::size_t first_shown(surface &s, const edit_field &f, std::u32string_view chars, std::size_t caret, int width) {
    std::size_t scroll = std::min(f.scroll, chars.size());
    if (caret < scroll) scroll = caret;
    while (scroll < caret && s.text_width(chars.substr(scroll, caret - scroll)) >= width) ++scroll;
    return scroll;
}

std::size_t caret_char(const edit_field &f, std::u16string_view text) {
    return to_utf32(text.substr(0, std::min(f.caret, text.size()))).size();
}

}  // namespace

LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        auto f = std::make_unique<edit_field>();
        f->caret = f->anchor = w->text.size();
        w->extra = std::move(f);
        return 0;
    }
    edit_field &f = *field_of(w);
    switch (msg) {
    case WM_PAINT: {
        auto &dc = *reinterpret_cast<device_context *>(wp);
        paint_field(dc, w, dc.box(), w->text, true, 0);
        return 0;
    }
    case wm_key: {
        if ((w->style & ES_READONLY) != 0 || !edit_key(w, *reinterpret_cast<const input_event *>(lp))) return FALSE;
        surface &s = current_surface();
        keep_caret_shown(w, s, window_box(w, s), 0);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE: {
        // A press puts the caret; dragging from it selects, the edit holding the mouse.
        if ((w->style & WS_TABSTOP) == 0 || (msg == WM_MOUSEMOVE && capture() != w)) return 0;
        if (msg == WM_LBUTTONDOWN) {
            SetFocus(w);
            set_capture(w);
        }
        surface &s = current_surface();
        RECT box = window_box(w, s);
        edit_click(w, s, RECT{0, 0, box.right - box.left, box.bottom - box.top}, 0, static_cast<int>(point_of(lp).x),
                   msg == WM_MOUSEMOVE);
        return 0;
    }
    case WM_LBUTTONUP:
        if (capture() == w) set_capture(nullptr);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case EM_LIMITTEXT:
        f.limit = wp == 0 ? 0x7FFFFFFE : wp;
        return 0;
    case EM_SETSEL:
        // From wParam to lParam, the caret at the end; -1 for the end of the text.
        f.anchor = std::min(w->text.size(), static_cast<std::size_t>(static_cast<int>(wp) < 0 ? w->text.size() : wp));
        f.caret = std::min(w->text.size(), static_cast<std::size_t>(lp < 0 ? w->text.size() : lp));
        return 0;
    case WM_SETTEXT:
        // The typing limit does not apply to text set by program.
        f.caret = f.anchor = std::u16string_view(lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"").size();
        f.scroll = 0;
        [[fallthrough]];
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}

namespace {

// Puts `units` in place of the selection, as far as the typing limit lets them in.
void replace_selection(edit_field &f, std::u16string &t, std::u16string units) {
    std::size_t from = std::min(f.caret, f.anchor);
    std::size_t to = std::max(f.caret, f.anchor);
    std::size_t kept = t.size() - (to - from);
    std::size_t room = f.limit > kept ? f.limit - kept : 0;
    if (units.size() > room) {
        // Cut where the room ends, never inside a surrogate pair.
        if (room > 0 && units[room - 1] >= 0xD800 && units[room - 1] <= 0xDBFF) --room;
        units.resize(room);
    }
    t.replace(from, to - from, units);
    f.caret = f.anchor = from + units.size();
}

// The text a paste brings to a one-line field: up to its first line break, without control
// characters (a tab among them).
std::u16string pasted_units(std::u32string_view text) {
    std::u16string units;
    for (char32_t c : text) {
        if (c == U'\n' || c == U'\r' || c == 0x85 || c == 0x2028 || c == 0x2029) break;
        if (c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F)) append_utf16(units, c);
    }
    return units;
}

}  // namespace

bool edit_key(HWND w, const input_event &e) {
    edit_field &f = *field_of(w);
    std::u16string &t = w->text;
    f.caret = std::min(f.caret, t.size());
    f.anchor = std::min(f.anchor, t.size());
    bool selected = f.caret != f.anchor;
    // A move with Shift carries the caret and keeps the anchor: the selection grows or shrinks.
    auto move = [&](std::size_t to) {
        f.caret = to;
        if (!e.shift) f.anchor = to;
        return true;
    };
    switch (e.k) {
    case key::character:
        if (e.ch < 0x20 || e.ch == 0x7F) return false;
        {
            std::u16string units;
            append_utf16(units, e.ch);
            // The limit stops typing only; text set by program may be longer.
            std::size_t kept = t.size() - (std::max(f.caret, f.anchor) - std::min(f.caret, f.anchor));
            if (kept + units.size() > f.limit) return true;
            replace_selection(f, t, units);
        }
        return true;
    case key::paste:
        replace_selection(f, t, pasted_units(e.text));
        return true;
    case key::backspace:
        if (!selected) f.anchor = previous_char(t, f.caret);
        replace_selection(f, t, {});
        return true;
    case key::del:
        if (!selected) f.anchor = next_char(t, f.caret);
        replace_selection(f, t, {});
        return true;
    case key::left:
        return move(selected && !e.shift ? std::min(f.caret, f.anchor) : previous_char(t, f.caret));
    case key::right:
        return move(selected && !e.shift ? std::max(f.caret, f.anchor) : next_char(t, f.caret));
    case key::home:
        return move(0);
    case key::end:
        return move(t.size());
    case key::select_all:
        f.anchor = 0;
        f.caret = t.size();
        return true;
    default:
        return false;
    }
}

void keep_caret_shown(HWND w, surface &s, RECT box, int reserved) {
    edit_field &f = *field_of(w);
    std::u32string chars = shown_chars(w, w->text);
    RECT inner = text_room(s.metrics(), box, reserved);
    f.scroll = first_shown(s, f, chars, caret_char(f, w->text), static_cast<int>(inner.right - inner.left));
}

void edit_click(HWND w, surface &s, RECT box, int reserved, int x, bool extend) {
    edit_field &f = *field_of(w);
    std::u32string chars = shown_chars(w, w->text);
    RECT inner = text_room(s.metrics(), box, reserved);
    std::size_t scroll = first_shown(s, f, chars, caret_char(f, w->text), static_cast<int>(inner.right - inner.left));
    // The field scrolls in characters and keeps the caret in units: walk both.
    std::size_t at = scroll + s.index_at(std::u32string_view(chars).substr(scroll), x - static_cast<int>(inner.left));
    std::size_t unit = 0;
    for (std::size_t c = 0; unit < w->text.size() && c < at; ++c) unit = next_char(w->text, unit);
    f.caret = unit;
    if (!extend) f.anchor = unit;
    f.scroll = scroll;
}

void paint_field(device_context &dc, HWND w, RECT box, std::u16string_view text, bool editable, int reserved) {
    const edit_field &f = *field_of(w);
    const surface_metrics &m = dc.metrics();
    bool focused = windows().focus == w;
    role how = focused ? role::field_focus : role::field;
    dc.fill(box, how);
    dc.frame(box, how);
    RECT inner = text_room(m, box, reserved);
    int width = static_cast<int>(inner.right - inner.left);
    std::u32string chars = shown_chars(w, text);
    std::size_t caret = std::min(caret_char(f, text), chars.size());
    std::size_t scroll = editable ? first_shown(dc.target(), f, chars, caret, width) : 0;
    std::u32string_view visible = std::u32string_view(chars).substr(scroll);
    int y = inner.top + (static_cast<int>(inner.bottom - inner.top) - m.line) / 2;
    // A list's field shows where its text is cut; an edit field scrolls to its caret instead.
    dc.text(inner.left, y, inner, visible, how, !editable);
    if (!focused) return;
    surface &on = dc.target();
    std::size_t anchor = std::min(to_utf32(text.substr(0, std::min(f.anchor, text.size()))).size(), chars.size());
    if (editable && anchor != caret) {
        // The selection, over the text: highlighted as a list's marked entry.
        std::size_t lo = std::max(std::min(anchor, caret), scroll);
        std::size_t hi = std::max(anchor, caret);
        if (hi > lo) {
            int from = static_cast<int>(inner.left) + on.caret_offset(visible, lo - scroll);
            int to = static_cast<int>(inner.left) + on.caret_offset(visible, hi - scroll);
            RECT marked{std::min(from, to), inner.top, std::min<LONG>(std::max(from, to), inner.right), inner.bottom};
            dc.fill(marked, role::list_mark);
            dc.text(static_cast<int>(marked.left), y, marked, std::u32string_view(chars).substr(lo, hi - lo), role::list_mark, false);
        }
    }
    // The focus stands on the focused field, at the caret where there is one, so that screen
    // readers follow it on the terminal.
    int before = editable ? on.caret_offset(visible, caret - scroll) : 0;
    dc.caret(static_cast<int>(inner.left) + std::clamp(before, 0, width - 1), y, editable);
}

}  // namespace orvane_platform
