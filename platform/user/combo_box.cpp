// The combo box: its entries, selection, drop-down list and edit field, and its keys.
#include <algorithm>
#include <cstdint>
#include <cwctype>

#include "../common/utf.h"
#include "window_system.h"

namespace orvane_platform {

namespace {

// One unit as the case-insensitive rules see it; surrogates stay as they are.
char16_t folded_unit(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF ? c : static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

// The platform's case-insensitive order of combo-box entries, unit by unit.
int compare_nocase(std::u16string_view a, std::u16string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        char16_t x = folded_unit(a[i]);
        char16_t y = folded_unit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool starts_with_nocase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (text[i] != prefix[i] && folded_unit(text[i]) != folded_unit(prefix[i])) return false;
    }
    return true;
}

bool equals_nocase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && starts_with_nocase(a, b);
}

// The edit field's text chose an entry when one has that whole text, regardless of case.
void select_entry_of_text(HWND w) {
    w->selected = -1;
    for (std::size_t i = 0; i < w->entries.size(); ++i) {
        if (equals_nocase(w->entry_text(i), w->text)) {
            w->selected = static_cast<int>(i);
            break;
        }
    }
    w->highlighted = w->selected;
}

void set_combo_selection(HWND w, int index) {
    // Selecting again what is selected (a re-layout does) leaves an open list's mark where the
    // user put it.
    if (!w->dropped || index != w->selected) w->highlighted = index;
    w->selected = index;
    if (is_drop_down_edit(w)) {
        w->text = index >= 0 ? std::u16string(w->entry_text(static_cast<std::size_t>(index))) : std::u16string();
        w->caret = w->text.size();
        w->scroll = 0;
    }
}

void notify_selection_change(HWND combo) {
    if (combo->parent == nullptr) return;
    SendMessage(combo->parent, WM_COMMAND, MAKEWPARAM(combo->id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// A selection made by the user: it notifies, unlike CB_SETCURSEL.
void user_select(HWND combo, int index) {
    if (index < 0 || index >= static_cast<int>(combo->entries.size()) || index == combo->selected) return;
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    notify_selection_change(combo);
}

// CB_ADDSTRING and CB_INSERTSTRING.
LRESULT add_entry(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (lp == 0) return CB_ERR;
    HWND__::entry e{reinterpret_cast<LPCWSTR>(lp), 0};
    auto count = static_cast<int>(w->entries.size());
    int at = count;
    if (msg == CB_INSERTSTRING) {
        int want = static_cast<int>(wp);
        at = want < 0 || want > count ? count : want;
    } else if ((w->style & CBS_SORT) != 0) {
        // After entries that compare equal, so equal names keep their order of arrival.
        auto pos = std::upper_bound(w->entries.begin(), w->entries.end(), e.text,
                                    [](const std::u16string &t, const HWND__::entry &x) { return compare_nocase(t, x.text) < 0; });
        at = static_cast<int>(pos - w->entries.begin());
    }
    w->entries.insert(w->entries.begin() + at, std::move(e));
    w->widest = -1;
    if (w->selected >= at) ++w->selected;
    if (w->highlighted >= at) ++w->highlighted;
    return at;
}

bool combo_box_key(HWND w, const input_event &e);
void combo_box_click(HWND w, int list_index, int x);
void combo_box_wheel(HWND w, int steps);

void paint_combo(device_context &dc, HWND w) {
    bool editable = is_drop_down_edit(w);
    std::u16string_view text = editable ? std::u16string_view(w->text)
                                        : (w->selected >= 0 ? w->entry_text(static_cast<std::size_t>(w->selected)) : u"");
    const surface_metrics &m = dc.metrics();
    paint_field(dc, w, text, editable, false, m.button);
    RECT box = dc.box();
    dc.arrow(RECT{box.right - m.border - m.button, box.top + m.border, box.right - m.border, box.bottom - m.border},
             windows().focus == w ? role::field_focus : role::field);
}

void paint_open_list(device_context &dc, HWND w) {
    list_place p = open_list_place(w, dc.target());
    if (p.rows <= 0) return;
    const surface_metrics &m = dc.metrics();
    auto count = static_cast<int>(w->entries.size());
    int first = std::clamp(w->list_top, 0, std::max(0, count - p.rows));
    bool scrolls = count > p.rows;
    RECT outer{p.col, p.top, p.col + p.width, p.top + p.rows * m.line + 2 * m.border};
    dc.fill(outer, role::list);
    dc.frame(outer, role::list);
    LONG text_right = outer.right - m.border - (scrolls ? m.button : 0);
    for (int i = 0; i < p.rows; ++i) {
        int index = first + i;
        bool marked = index == w->highlighted;
        role how = marked ? role::list_mark : role::list;
        RECT row{outer.left + m.border, outer.top + m.border + i * m.line, outer.right - m.border, 0};
        row.bottom = row.top + m.line;
        dc.fill(row, how);
        RECT text_area{row.left + m.padding, row.top, text_right - m.padding, row.bottom};
        dc.text(static_cast<int>(text_area.left), static_cast<int>(row.top), text_area,
                to_utf32(w->entry_text(static_cast<std::size_t>(index))), how, true);
        if (marked) dc.caret(static_cast<int>(row.left), static_cast<int>(row.top), false);
    }
    if (scrolls) {
        dc.scroll_bar(RECT{text_right, outer.top + m.border, outer.right - m.border, outer.bottom - m.border}, first, p.rows,
                      count);
    }
}

}  // namespace

LRESULT combo_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto count = static_cast<int>(w->entries.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    switch (msg) {
    case WM_PAINT:
        paint_combo(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case wm_paint_list:
        paint_open_list(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case wm_key:
        return combo_box_key(w, *reinterpret_cast<const input_event *>(lp)) ? TRUE : FALSE;
    case wm_click:
        combo_box_click(w, static_cast<int>(wp), static_cast<int>(lp));
        return 0;
    case wm_wheel:
        combo_box_wheel(w, static_cast<int>(wp));
        return 0;
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
        try {
            return add_entry(w, msg, wp, lp);
        } catch (const std::exception &) {
            return CB_ERRSPACE;
        }
    case CB_INITSTORAGE:
        // Room for `wp` more entries; their texts are strings of their own.
        try {
            w->entries.reserve(w->entries.size() + wp);
        } catch (const std::exception &) {
            return CB_ERRSPACE;
        }
        return static_cast<LRESULT>(w->entries.capacity());
    case CB_DELETESTRING:
        if (!valid(wp)) return CB_ERR;
        w->entries.erase(w->entries.begin() + static_cast<std::ptrdiff_t>(wp));
        w->widest = -1;
        if (w->selected == static_cast<int>(wp)) {
            w->selected = -1;
        } else if (w->selected > static_cast<int>(wp)) {
            --w->selected;
        }
        w->highlighted = w->selected;
        return static_cast<LRESULT>(w->entries.size());
    case CB_RESETCONTENT:
        w->entries.clear();
        w->selected = w->highlighted = -1;
        w->list_top = 0;
        w->widest = 0;
        return 0;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return w->selected;
    case CB_SETCURSEL:
        if (static_cast<int>(wp) == -1) {
            set_combo_selection(w, -1);
            return CB_ERR;
        }
        if (!valid(wp)) {
            set_combo_selection(w, -1);
            return CB_ERR;
        }
        set_combo_selection(w, static_cast<int>(wp));
        return w->selected;
    case CB_GETLBTEXT:
        if (!valid(wp) || lp == 0) return CB_ERR;
        {
            std::u16string_view t = w->entry_text(wp);
            auto *out = reinterpret_cast<WCHAR *>(lp);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return static_cast<LRESULT>(t.size());
        }
    case CB_GETLBTEXTLEN:
        if (!valid(wp)) return CB_ERR;
        return static_cast<LRESULT>(w->entries[wp].text.size());
    case CB_SETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        w->entries[wp].data = lp;
        return 0;
    case CB_GETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        return w->entries[wp].data;
    case CB_FINDSTRING:
    case CB_SELECTSTRING: {
        if (lp == 0 || count == 0) return CB_ERR;
        std::u16string_view prefix(reinterpret_cast<LPCWSTR>(lp));
        // From the entry after `start` to the end, then from the first entry to `start` itself.
        int start = static_cast<int>(wp);
        if (start < -1 || start >= count) start = -1;
        for (int k = 1; k <= count; ++k) {
            int i = (start + k) % count;
            if (starts_with_nocase(w->entry_text(static_cast<std::size_t>(i)), prefix)) {
                if (msg == CB_SELECTSTRING) set_combo_selection(w, i);
                return i;
            }
        }
        return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
        w->dropped = wp != 0;
        w->highlighted = w->selected;
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return w->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        w->limit = wp == 0 ? 0x7FFFFFFE : wp;
        return TRUE;
    case WM_GETTEXT:
        if (is_drop_list(w)) {
            return copy_text(w->selected >= 0 ? w->entry_text(static_cast<std::size_t>(w->selected)) : u"", wp, lp);
        }
        return copy_text(w->text, wp, lp);
    case WM_GETTEXTLENGTH:
        if (is_drop_list(w)) {
            return w->selected >= 0 ? static_cast<LRESULT>(w->entries[static_cast<std::size_t>(w->selected)].text.size()) : 0;
        }
        return static_cast<LRESULT>(w->text.size());
    case WM_SETTEXT:
        if (is_drop_list(w)) {
            // A list without an edit field takes a text only when an entry has it.
            if (lp == 0) return CB_ERR;
            std::u16string_view t(reinterpret_cast<LPCWSTR>(lp));
            for (int i = 0; i < count; ++i) {
                if (compare_nocase(w->entry_text(static_cast<std::size_t>(i)), t) == 0) {
                    set_combo_selection(w, i);
                    return TRUE;
                }
            }
            return CB_ERR;
        }
        w->text = lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"";
        w->caret = w->text.size();
        w->scroll = 0;
        select_entry_of_text(w);
        return TRUE;
    default:
        return 0;
    }
}

list_place open_list_place(HWND w, surface &s) {
    const surface_metrics &m = s.metrics();
    RECT field = s.place(window_rect_on_screen(w));
    auto count = static_cast<int>(w->entries.size());
    list_place p;
    p.top = static_cast<int>(field.bottom);
    p.rows = std::max(0, std::min(count, (m.height - m.bar - p.top - 2 * m.border) / std::max(1, m.line)));
    if (w->widest < 0) {
        w->widest = 0;
        for (const auto &e : w->entries) w->widest = std::max(w->widest, s.text_width(to_utf32(e.text)));
    }
    int need = w->widest + 2 * (m.border + m.padding) + (count > p.rows ? m.button : 0);
    p.width = std::max(1, std::min(std::max(static_cast<int>(field.right - field.left), need), m.width));
    p.col = std::max(0, std::min(static_cast<int>(field.left), m.width - p.width));
    return p;
}


// Keeps the highlighted entry inside the rows the open list shows.
void show_highlighted(HWND w) {
    int rows = std::max(1, open_list_place(w).rows);
    if (w->highlighted < 0) return;
    if (w->highlighted < w->list_top) w->list_top = w->highlighted;
    if (w->highlighted >= w->list_top + rows) w->list_top = w->highlighted - rows + 1;
}

namespace {

// The platform's type-ahead: letters typed within a second of each other make a prefix,
// searched from the current entry on; one letter typed again walks on to the next entry
// with that letter.
int type_ahead(HWND w, char32_t c, std::uint64_t when, int current) {
    constexpr std::uint64_t quick_ms = 1000;
    std::u16string letter;
    append_utf16(letter, c);
    if (w->typed.empty() || when < w->typed_at || when - w->typed_at > quick_ms) w->typed.clear();
    w->typed += letter;
    w->typed_at = when;
    bool one_letter = true;
    for (std::size_t i = 0; i + letter.size() <= w->typed.size(); i += letter.size()) {
        if (!equals_nocase(std::u16string_view(w->typed).substr(i, letter.size()), letter)) one_letter = false;
    }
    std::u16string_view prefix = one_letter ? std::u16string_view(letter) : std::u16string_view(w->typed);
    auto count = static_cast<int>(w->entries.size());
    int start = one_letter ? current + 1 : std::max(current, 0);
    for (int k = 0; k < count; ++k) {
        int i = ((start + k) % count + count) % count;
        if (starts_with_nocase(w->entry_text(static_cast<std::size_t>(i)), prefix)) return i;
    }
    return -1;
}

// Where Home, End, PgUp, PgDn and Up/Down lead from `from`; -2 when the key is not a move.
int moved_to(HWND w, key k, int from, bool edit_field) {
    auto count = static_cast<int>(w->entries.size());
    if (count == 0) return -2;
    int page = std::max(1, open_list_place(w).rows);
    switch (k) {
    case key::up: return from < 0 ? 0 : std::max(from - 1, 0);
    case key::down: return from < 0 ? 0 : std::min(from + 1, count - 1);
    case key::page_up: return from < 0 ? 0 : std::max(from - page, 0);
    case key::page_down: return from < 0 ? std::min(page - 1, count - 1) : std::min(from + page, count - 1);
    case key::home: return edit_field ? -2 : 0;
    case key::end: return edit_field ? -2 : count - 1;
    default: return -2;
    }
}

bool edit_field_key(HWND w, const input_event &e) {
    std::u16string before = w->text;
    bool taken = edit_key(w, e);
    if (w->text != before) select_entry_of_text(w);
    return taken;
}


bool combo_box_key(HWND w, const input_event &e) {
    auto count = static_cast<int>(w->entries.size());
    bool edit_field = is_drop_down_edit(w);
    if (w->dropped) {
        int to = moved_to(w, e.k, w->highlighted, false);
        if (to >= 0) {
            w->highlighted = to;
        } else if (e.k == key::enter) {
            w->dropped = false;
            user_select(w, w->highlighted);
        } else if (e.k == key::escape) {
            w->dropped = false;
            w->highlighted = w->selected;
        } else if (e.k == key::character && edit_field) {
            edit_field_key(w, e);
        } else if (e.k == key::character && count > 0) {
            int found = type_ahead(w, e.ch, e.time_ms, w->highlighted);
            if (found >= 0) w->highlighted = found;
        }
        show_highlighted(w);
        return true;  // an open list takes every key
    }
    int to = moved_to(w, e.k, w->selected, edit_field);
    if (to >= 0) {
        user_select(w, to);
        return true;
    }
    if (e.k == key::enter) {
        w->dropped = true;
        w->highlighted = w->selected < 0 && count > 0 ? 0 : w->selected;
        w->list_top = 0;
        show_highlighted(w);
        return true;
    }
    if (edit_field) return edit_field_key(w, e);
    if (e.k == key::character && count > 0) {
        int found = type_ahead(w, e.ch, e.time_ms, w->selected);
        if (found >= 0) user_select(w, found);
        return true;
    }
    return false;
}

// A click on the open list chooses its entry; on the edit field of a drop-down combo box it
// places the caret; elsewhere it opens or closes the list.
void combo_box_click(HWND w, int list_index, int x) {
    surface &s = current_surface();
    const surface_metrics &m = s.metrics();
    RECT box = s.place(window_rect_on_screen(w));
    if (list_index < 0 && is_drop_down_edit(w) && x < box.right - box.left - m.border - m.button) {
        w->dropped = false;
        edit_click(w, s, x);
        return;
    }
    if (list_index >= 0) {
        w->dropped = false;
        user_select(w, list_index);
    } else {
        w->dropped = !w->dropped;
        w->highlighted = w->selected;
        w->list_top = 0;
        show_highlighted(w);
    }
}

void combo_box_wheel(HWND w, int steps) {
    if (!w->dropped) return;
    int rows = std::max(1, open_list_place(w).rows);
    int last_top = std::max(0, static_cast<int>(w->entries.size()) - rows);
    w->list_top = std::clamp(w->list_top + steps * 3, 0, last_top);
}

}  // namespace

}  // namespace orvane_platform
