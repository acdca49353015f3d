// The combo box: its entries, selection, drop-down list and edit field, and its keys.
#include <algorithm>
#include <cstdint>
#include <cwctype>

#include "../common/utf.h"
#include "edit_field.h"
#include "window_system.h"

namespace orvane_platform {

namespace {

struct combo_state : edit_field {
    struct entry {
        std::u16string text;
        LPARAM data = 0;
    };
    std::vector<entry> entries;
    std::u16string_view entry_text(std::size_t i) const { return entries[i].text; }
    int selected = -1;
    bool dropped = false;
    int highlighted = -1;  // the entry marked in an open list
    int list_top = 0;      // the first entry the open list shows
    int widest = -1;       // the widest entry on the surface; -1 when not known
    std::u16string typed;  // type-ahead: the letters typed in quick succession
    std::uint64_t typed_at = 0;
};

combo_state &state(HWND w) { return static_cast<combo_state &>(*w->extra); }

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
    combo_state &st = state(w);
    st.selected = -1;
    for (std::size_t i = 0; i < st.entries.size(); ++i) {
        if (equals_nocase(st.entry_text(i), w->text)) {
            st.selected = static_cast<int>(i);
            break;
        }
    }
    st.highlighted = st.selected;
}

void set_combo_selection(HWND w, int index) {
    combo_state &st = state(w);
    // Selecting again what is selected (a re-layout does) leaves an open list's mark where the
    // user put it.
    if (!st.dropped || index != st.selected) st.highlighted = index;
    st.selected = index;
    if (is_drop_down_edit(w)) {
        w->text = index >= 0 ? std::u16string(st.entry_text(static_cast<std::size_t>(index))) : std::u16string();
        st.caret = w->text.size();
        st.scroll = 0;
    }
}

void notify_selection_change(HWND combo) {
    if (combo->parent == nullptr) return;
    SendMessage(combo->parent, WM_COMMAND, MAKEWPARAM(combo->id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// A selection made by the user: it notifies, unlike CB_SETCURSEL.
void user_select(HWND combo, int index) {
    combo_state &st = state(combo);
    if (index < 0 || index >= static_cast<int>(st.entries.size()) || index == st.selected) return;
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    notify_selection_change(combo);
}

// CB_ADDSTRING and CB_INSERTSTRING.
LRESULT add_entry(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    combo_state &st = state(w);
    if (lp == 0) return CB_ERR;
    combo_state::entry e{reinterpret_cast<LPCWSTR>(lp), 0};
    auto count = static_cast<int>(st.entries.size());
    int at = count;
    if (msg == CB_INSERTSTRING) {
        int want = static_cast<int>(wp);
        at = want < 0 || want > count ? count : want;
    } else if ((w->style & CBS_SORT) != 0) {
        // After entries that compare equal, so equal names keep their order of arrival.
        auto pos = std::upper_bound(st.entries.begin(), st.entries.end(), e.text,
                                    [](const std::u16string &t, const combo_state::entry &x) { return compare_nocase(t, x.text) < 0; });
        at = static_cast<int>(pos - st.entries.begin());
    }
    st.entries.insert(st.entries.begin() + at, std::move(e));
    st.widest = -1;
    if (st.selected >= at) ++st.selected;
    if (st.highlighted >= at) ++st.highlighted;
    return at;
}

bool combo_box_key(HWND w, const input_event &e);
void combo_box_click(HWND w, int list_index, int x);
void combo_box_wheel(HWND w, int steps);
void show_highlighted(HWND w);

void paint_combo(device_context &dc, HWND w) {
    combo_state &st = state(w);
    bool editable = is_drop_down_edit(w);
    std::u16string_view text = editable ? std::u16string_view(w->text)
                                        : (st.selected >= 0 ? st.entry_text(static_cast<std::size_t>(st.selected)) : u"");
    const surface_metrics &m = dc.metrics();
    paint_field(dc, w, text, editable, false, m.button);
    RECT box = dc.box();
    dc.arrow(RECT{box.right - m.border - m.button, box.top + m.border, box.right - m.border, box.bottom - m.border},
             windows().focus == w ? role::field_focus : role::field);
}

void paint_open_list(device_context &dc, HWND w) {
    combo_state &st = state(w);
    list_place p = open_list_place(w, dc.target());
    if (p.rows <= 0) return;
    const surface_metrics &m = dc.metrics();
    auto count = static_cast<int>(st.entries.size());
    int first = std::clamp(st.list_top, 0, std::max(0, count - p.rows));
    bool scrolls = count > p.rows;
    RECT outer{p.col, p.top, p.col + p.width, p.top + p.rows * m.line + 2 * m.border};
    dc.fill(outer, role::list);
    dc.frame(outer, role::list);
    LONG text_right = outer.right - m.border - (scrolls ? m.button : 0);
    for (int i = 0; i < p.rows; ++i) {
        int index = first + i;
        bool marked = index == st.highlighted;
        role how = marked ? role::list_mark : role::list;
        RECT row{outer.left + m.border, outer.top + m.border + i * m.line, outer.right - m.border, 0};
        row.bottom = row.top + m.line;
        dc.fill(row, how);
        RECT text_area{row.left + m.padding, row.top, text_right - m.padding, row.bottom};
        dc.text(static_cast<int>(text_area.left), static_cast<int>(row.top), text_area,
                to_utf32(st.entry_text(static_cast<std::size_t>(index))), how, true);
        if (marked) dc.caret(static_cast<int>(row.left), static_cast<int>(row.top), false);
    }
    if (scrolls) {
        dc.scroll_bar(RECT{text_right, outer.top + m.border, outer.right - m.border, outer.bottom - m.border}, first, p.rows,
                      count);
    }
}

}  // namespace

LRESULT combo_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        w->extra = std::make_unique<combo_state>();
        return 0;
    }
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    switch (msg) {
    case WM_PAINT:
        paint_combo(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case wm_paint_list:
        if (st.dropped) paint_open_list(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case wm_list_hit: {
        if (!st.dropped || lp == 0) return 0;
        surface &s = current_surface();
        const surface_metrics &m = s.metrics();
        list_place p = open_list_place(w, s);
        const auto *at = reinterpret_cast<const POINT *>(lp);
        int y = static_cast<int>(at->y) - p.top - m.border;
        if (at->x < p.col || at->x >= p.col + p.width || y < 0 || y / std::max(1, m.line) >= p.rows) return 0;
        return std::clamp(st.list_top, 0, std::max(0, count - p.rows)) + y / std::max(1, m.line) + 1;
    }
    case wm_screen_changed:
        if (st.dropped) show_highlighted(w);
        return 0;
    case CB_GETTOPINDEX:
        return st.list_top;
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
            st.entries.reserve(st.entries.size() + wp);
        } catch (const std::exception &) {
            return CB_ERRSPACE;
        }
        return static_cast<LRESULT>(st.entries.capacity());
    case CB_DELETESTRING:
        if (!valid(wp)) return CB_ERR;
        st.entries.erase(st.entries.begin() + static_cast<std::ptrdiff_t>(wp));
        st.widest = -1;
        if (st.selected == static_cast<int>(wp)) {
            st.selected = -1;
        } else if (st.selected > static_cast<int>(wp)) {
            --st.selected;
        }
        st.highlighted = st.selected;
        return static_cast<LRESULT>(st.entries.size());
    case CB_RESETCONTENT:
        st.entries.clear();
        st.selected = st.highlighted = -1;
        st.list_top = 0;
        st.widest = 0;
        return 0;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return st.selected;
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
        return st.selected;
    case CB_GETLBTEXT:
        if (!valid(wp) || lp == 0) return CB_ERR;
        {
            std::u16string_view t = st.entry_text(wp);
            auto *out = reinterpret_cast<WCHAR *>(lp);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return static_cast<LRESULT>(t.size());
        }
    case CB_GETLBTEXTLEN:
        if (!valid(wp)) return CB_ERR;
        return static_cast<LRESULT>(st.entries[wp].text.size());
    case CB_SETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        st.entries[wp].data = lp;
        return 0;
    case CB_GETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        return st.entries[wp].data;
    case CB_FINDSTRING:
    case CB_SELECTSTRING: {
        if (lp == 0 || count == 0) return CB_ERR;
        std::u16string_view prefix(reinterpret_cast<LPCWSTR>(lp));
        // From the entry after `start` to the end, then from the first entry to `start` itself.
        int start = static_cast<int>(wp);
        if (start < -1 || start >= count) start = -1;
        for (int k = 1; k <= count; ++k) {
            int i = (start + k) % count;
            if (starts_with_nocase(st.entry_text(static_cast<std::size_t>(i)), prefix)) {
                if (msg == CB_SELECTSTRING) set_combo_selection(w, i);
                return i;
            }
        }
        return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
        st.dropped = wp != 0;
        st.highlighted = st.selected;
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return st.dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        st.limit = wp == 0 ? 0x7FFFFFFE : wp;
        return TRUE;
    case WM_GETTEXT:
        if (is_drop_list(w)) {
            return copy_text(st.selected >= 0 ? st.entry_text(static_cast<std::size_t>(st.selected)) : u"", wp, lp);
        }
        return copy_text(w->text, wp, lp);
    case WM_GETTEXTLENGTH:
        if (is_drop_list(w)) {
            return st.selected >= 0 ? static_cast<LRESULT>(st.entries[static_cast<std::size_t>(st.selected)].text.size()) : 0;
        }
        return static_cast<LRESULT>(w->text.size());
    case WM_SETTEXT:
        if (is_drop_list(w)) {
            // A list without an edit field takes a text only when an entry has it.
            if (lp == 0) return CB_ERR;
            std::u16string_view t(reinterpret_cast<LPCWSTR>(lp));
            for (int i = 0; i < count; ++i) {
                if (compare_nocase(st.entry_text(static_cast<std::size_t>(i)), t) == 0) {
                    set_combo_selection(w, i);
                    return TRUE;
                }
            }
            return CB_ERR;
        }
        w->text = lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"";
        st.caret = w->text.size();
        st.scroll = 0;
        select_entry_of_text(w);
        return TRUE;
    default:
        return 0;
    }
}

list_place open_list_place(HWND w, surface &s) {
    combo_state &st = state(w);
    const surface_metrics &m = s.metrics();
    RECT field = control_box(w, s);
    auto count = static_cast<int>(st.entries.size());
    list_place p;
    p.top = static_cast<int>(field.bottom);
    p.rows = std::max(0, std::min(count, (m.height - m.bar - p.top - 2 * m.border) / std::max(1, m.line)));
    if (st.widest < 0) {
        st.widest = 0;
        for (const auto &e : st.entries) st.widest = std::max(st.widest, s.text_width(to_utf32(e.text)));
    }
    int need = st.widest + 2 * (m.border + m.padding) + (count > p.rows ? m.button : 0);
    p.width = std::max(1, std::min(std::max(static_cast<int>(field.right - field.left), need), m.width));
    p.col = std::max(0, std::min(static_cast<int>(field.left), m.width - p.width));
    return p;
}


namespace {

// Keeps the highlighted entry inside the rows the open list shows.
void show_highlighted(HWND w) {
    combo_state &st = state(w);
    int rows = std::max(1, open_list_place(w).rows);
    if (st.highlighted < 0) return;
    if (st.highlighted < st.list_top) st.list_top = st.highlighted;
    if (st.highlighted >= st.list_top + rows) st.list_top = st.highlighted - rows + 1;
}

}  // namespace

namespace {

// The platform's type-ahead: letters typed within a second of each other make a prefix,
// searched from the current entry on; one letter typed again walks on to the next entry
// with that letter.
int type_ahead(HWND w, char32_t c, std::uint64_t when, int current) {
    combo_state &st = state(w);
    constexpr std::uint64_t quick_ms = 1000;
    std::u16string letter;
    append_utf16(letter, c);
    if (st.typed.empty() || when < st.typed_at || when - st.typed_at > quick_ms) st.typed.clear();
    st.typed += letter;
    st.typed_at = when;
    bool one_letter = true;
    for (std::size_t i = 0; i + letter.size() <= st.typed.size(); i += letter.size()) {
        if (!equals_nocase(std::u16string_view(st.typed).substr(i, letter.size()), letter)) one_letter = false;
    }
    std::u16string_view prefix = one_letter ? std::u16string_view(letter) : std::u16string_view(st.typed);
    auto count = static_cast<int>(st.entries.size());
    int start = one_letter ? current + 1 : std::max(current, 0);
    for (int k = 0; k < count; ++k) {
        int i = ((start + k) % count + count) % count;
        if (starts_with_nocase(st.entry_text(static_cast<std::size_t>(i)), prefix)) return i;
    }
    return -1;
}

// Where Home, End, PgUp, PgDn and Up/Down lead from `from`; -2 when the key is not a move.
int moved_to(HWND w, key k, int from, bool in_field) {
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    if (count == 0) return -2;
    int page = std::max(1, open_list_place(w).rows);
    switch (k) {
    case key::up: return from < 0 ? 0 : std::max(from - 1, 0);
    case key::down: return from < 0 ? 0 : std::min(from + 1, count - 1);
    case key::page_up: return from < 0 ? 0 : std::max(from - page, 0);
    case key::page_down: return from < 0 ? std::min(page - 1, count - 1) : std::min(from + page, count - 1);
    case key::home: return in_field ? -2 : 0;
    case key::end: return in_field ? -2 : count - 1;
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
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    bool in_field = is_drop_down_edit(w);
    if (st.dropped) {
        int to = moved_to(w, e.k, st.highlighted, false);
        if (to >= 0) {
            st.highlighted = to;
        } else if (e.k == key::enter) {
            st.dropped = false;
            user_select(w, st.highlighted);
        } else if (e.k == key::escape) {
            st.dropped = false;
            st.highlighted = st.selected;
        } else if (e.k == key::character && in_field) {
            edit_field_key(w, e);
        } else if (e.k == key::character && count > 0) {
            int found = type_ahead(w, e.ch, e.time_ms, st.highlighted);
            if (found >= 0) st.highlighted = found;
        }
        show_highlighted(w);
        return true;  // an open list takes every key
    }
    int to = moved_to(w, e.k, st.selected, in_field);
    if (to >= 0) {
        user_select(w, to);
        return true;
    }
    if (e.k == key::enter) {
        st.dropped = true;
        st.highlighted = st.selected < 0 && count > 0 ? 0 : st.selected;
        st.list_top = 0;
        show_highlighted(w);
        return true;
    }
    if (in_field) return edit_field_key(w, e);
    if (e.k == key::character && count > 0) {
        int found = type_ahead(w, e.ch, e.time_ms, st.selected);
        if (found >= 0) user_select(w, found);
        return true;
    }
    return false;
}

// A click on the open list chooses its entry; on the edit field of a drop-down combo box it
// places the caret; elsewhere it opens or closes the list.
void combo_box_click(HWND w, int list_index, int x) {
    combo_state &st = state(w);
    surface &s = current_surface();
    const surface_metrics &m = s.metrics();
    RECT box = control_box(w, s);
    if (list_index < 0 && is_drop_down_edit(w) && x < box.right - box.left - m.border - m.button) {
        st.dropped = false;
        edit_click(w, s, x);
        return;
    }
    if (list_index >= 0) {
        st.dropped = false;
        user_select(w, list_index);
    } else {
        st.dropped = !st.dropped;
        st.highlighted = st.selected;
        st.list_top = 0;
        show_highlighted(w);
    }
}

void combo_box_wheel(HWND w, int steps) {
    combo_state &st = state(w);
    if (!st.dropped) return;
    int rows = std::max(1, open_list_place(w).rows);
    int last_top = std::max(0, static_cast<int>(st.entries.size()) - rows);
    st.list_top = std::clamp(st.list_top + steps * 3, 0, last_top);
}

}  // namespace

}  // namespace orvane_platform
