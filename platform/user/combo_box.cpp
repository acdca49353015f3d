// The combo box: its entries, selection, edit field and drop-down list, with the list's keys,
// clicks, scroll bar and look. While its list is open the box holds the mouse.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "../common/utf.h"
#include "controls.h"
#include "edit_field.h"

namespace orvane_platform {

namespace {

struct combo_state : edit_field {
    struct entry {
        std::u16string text;
        std::u16string folded;  // for the case-insensitive order and searches
        LPARAM data = 0;
    };
    std::vector<entry> entries;
    std::u16string_view entry_text(std::size_t i) const { return entries[i].text; }
    int selected = -1;
    bool dropped = false;
    int highlighted = -1;  // the entry marked in an open list
    int list_top = 0;      // the first entry the open list shows
    // The widest entry on the surface: measured when the list first opens, kept until the
    // entries or the surface change, so that opening a list of thousands again costs nothing.
    std::optional<int> widest;
    std::optional<int> grab;    // while the thumb is dragged: where in it the mouse holds it
    std::u16string typed;  // type-ahead: the letters typed in quick succession
    std::uint64_t typed_at = 0;
};

combo_state &state(HWND w) { return static_cast<combo_state &>(*w->extra); }

bool is_drop_list(HWND w) { return (w->style & 3u) == CBS_DROPDOWNLIST; }

// The box's order and searches ignore case as Unicode folds it, in every locale alike.
bool starts_with_folded(std::u16string_view folded_text, std::u16string_view folded_prefix) {
    return folded_text.substr(0, folded_prefix.size()) == folded_prefix;
}

// The field: the top of the box, one line high; the template's height is the open list's room.
RECT field_box(HWND w, surface &s) {
    RECT box = window_box(w, s);
    const surface_metrics &m = s.metrics();
    int height = std::min(static_cast<int>(box.bottom - box.top), m.line + 2 * (m.border + m.padding));
    return RECT{0, 0, box.right - box.left, height};
}

// How many entries an open list shows: as many as fit between the field and the soft-key bar.
int list_rows(HWND w, surface &s) {
    const surface_metrics &m = s.metrics();
    int top = static_cast<int>(window_box(w, s).top + field_box(w, s).bottom);
    auto count = static_cast<int>(state(w).entries.size());
    return std::max(0, std::min(count, (m.height - m.bar - top - 2 * m.border) / std::max(1, m.line)));
}

// Where an open list stands on the surface: below its field, as wide as its widest entry needs
// (with room for a scroll bar) up to the screen's width.
struct list_geometry {
    RECT outer{};
    RECT bar{};  // the scroll bar; empty when every entry is shown
    int rows = 0;
    int first = 0;
    int count = 0;
};

list_geometry open_list(HWND w, surface &s) {
    combo_state &st = state(w);
    const surface_metrics &m = s.metrics();
    RECT place = window_box(w, s);
    RECT field = field_box(w, s);
    list_geometry g;
    g.count = static_cast<int>(st.entries.size());
    g.rows = list_rows(w, s);
    g.first = std::clamp(st.list_top, 0, std::max(0, g.count - g.rows));
    bool scrolls = g.count > g.rows;
    int need = st.widest.value_or(0) + 2 * (m.border + m.padding) + (scrolls ? m.button : 0);
    int width = std::max(1, std::min(std::max(static_cast<int>(field.right), need), m.width));
    int left = std::max(0, std::min(static_cast<int>(place.left), m.width - width));
    int top = static_cast<int>(place.top + field.bottom);
    g.outer = RECT{left, top, left + width, top + g.rows * m.line + 2 * m.border};
    if (scrolls) g.bar = RECT{g.outer.right - m.border - m.button, top + m.border, g.outer.right - m.border, g.outer.bottom - m.border};
    return g;
}

// Measured when the list opens and nothing is known, not each time it is painted or opened:
// a list of thousands stays quick to draw.
void measure_widest(HWND w) {
    combo_state &st = state(w);
    if (st.widest) return;
    surface &s = current_surface();
    int widest = 0;
    for (const auto &e : st.entries) widest = std::max(widest, s.text_width(to_utf32(e.text)));
    st.widest = widest;
}

// The entries or the surface changed: measured again when the list next opens, or now if open.
void forget_widest(HWND w) {
    combo_state &st = state(w);
    st.widest.reset();
    if (st.dropped) measure_widest(w);
}

void set_dropped(HWND w, bool open) {
    combo_state &st = state(w);
    st.dropped = open;
    st.grab.reset();
    if (open) {
        measure_widest(w);
        set_capture(w);
    } else if (capture() == w) {
        set_capture(nullptr);
    }
}

// Keeps the highlighted entry inside the rows the open list shows.
void show_highlighted(HWND w) {
    combo_state &st = state(w);
    int rows = std::max(1, list_rows(w, current_surface()));
    if (st.highlighted < 0) return;
    if (st.highlighted < st.list_top) st.list_top = st.highlighted;
    if (st.highlighted >= st.list_top + rows) st.list_top = st.highlighted - rows + 1;
}

void open_list_at_selection(HWND w) {
    combo_state &st = state(w);
    set_dropped(w, true);
    st.highlighted = st.selected < 0 && !st.entries.empty() ? 0 : st.selected;
    st.list_top = 0;
    show_highlighted(w);
}

void scroll_list(HWND w, int to) {
    combo_state &st = state(w);
    int rows = std::max(1, list_rows(w, current_surface()));
    st.list_top = std::clamp(to, 0, std::max(0, static_cast<int>(st.entries.size()) - rows));
}

// The edit field's text chose an entry when one has that whole text, regardless of case.
void select_entry_of_text(HWND w) {
    combo_state &st = state(w);
    std::u16string folded = fold_case(w->text);
    st.selected = -1;
    for (std::size_t i = 0; i < st.entries.size(); ++i) {
        if (st.entries[i].folded == folded) {
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
    if (!is_drop_list(w)) {
        w->text = index >= 0 ? std::u16string(st.entry_text(static_cast<std::size_t>(index))) : std::u16string();
        st.caret = st.anchor = w->text.size();
        st.scroll = 0;
    }
}

// A selection made by the user: it notifies, unlike CB_SETCURSEL.
void user_select(HWND combo, int index) {
    combo_state &st = state(combo);
    if (index < 0 || index >= static_cast<int>(st.entries.size()) || index == st.selected) return;
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (combo->parent != nullptr) {
        SendMessage(combo->parent, WM_COMMAND, MAKEWPARAM(combo->id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }
}

void paint_combo(device_context &dc, HWND w) {
    combo_state &st = state(w);
    bool editable = !is_drop_list(w);
    std::u16string_view text = editable ? std::u16string_view(w->text)
                                        : (st.selected >= 0 ? st.entry_text(static_cast<std::size_t>(st.selected)) : u"");
    const surface_metrics &m = dc.metrics();
    RECT field = field_box(w, dc.target());
    paint_field(dc, w, field, text, editable, m.button);
    dc.arrow(RECT{field.right - m.border - m.button, field.top + m.border, field.right - m.border, field.bottom - m.border},
             windows().focus == w ? role::field_focus : role::field);
}

void paint_open_list(device_context &dc, HWND w) {
    combo_state &st = state(w);
    list_geometry g = open_list(w, dc.target());
    if (g.rows <= 0) return;
    const surface_metrics &m = dc.metrics();
    dc.fill(g.outer, role::list);
    dc.frame(g.outer, role::list);
    LONG text_right = g.bar.right > g.bar.left ? g.bar.left : g.outer.right - m.border;
    for (int i = 0; i < g.rows; ++i) {
        int index = g.first + i;
        bool marked = index == st.highlighted;
        role how = marked ? role::list_mark : role::list;
        RECT row{g.outer.left + m.border, g.outer.top + m.border + i * m.line, g.outer.right - m.border, 0};
        row.bottom = row.top + m.line;
        dc.fill(row, how);
        RECT text_area{row.left + m.padding, row.top, text_right - m.padding, row.bottom};
        dc.text(static_cast<int>(text_area.left), static_cast<int>(row.top), text_area,
                to_utf32(st.entry_text(static_cast<std::size_t>(index))), how, true);
        if (marked) dc.caret(static_cast<int>(row.left), static_cast<int>(row.top), false);
    }
    if (g.bar.right > g.bar.left) dc.scroll_bar(g.bar, g.first, g.rows, g.count);
}

bool inside(const RECT &r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// A press on the open list's scroll bar pages or steps the list, or takes hold of the thumb;
// it never chooses an entry.
void press_scroll_bar(HWND w, const list_geometry &g, int y) {
    combo_state &st = state(w);
    scroll_parts parts = current_surface().scroll_bar_parts(g.bar, g.first, g.rows, g.count);
    if (y < parts.up_end) {
        scroll_list(w, g.first - 1);
    } else if (y >= parts.down_start) {
        scroll_list(w, g.first + 1);
    } else if (y < parts.thumb_top) {
        scroll_list(w, g.first - g.rows);
    } else if (y >= parts.thumb_bottom) {
        scroll_list(w, g.first + g.rows);
    } else {
        st.grab = y - parts.thumb_top;
    }
}

// The dragged thumb: the list shows what lies where the thumb is now.
void drag_thumb(HWND w, int y) {
    combo_state &st = state(w);
    list_geometry g = open_list(w, current_surface());
    if (!st.grab || g.bar.right <= g.bar.left) return;
    scroll_parts parts = current_surface().scroll_bar_parts(g.bar, g.first, g.rows, g.count);
    int travel = parts.down_start - parts.up_end - (parts.thumb_bottom - parts.thumb_top);
    if (travel <= 0) return;
    int moved = std::clamp(y - *st.grab - parts.up_end, 0, travel);
    scroll_list(w, (moved * (g.count - g.rows) + travel / 2) / travel);
}

// A press, at `at` on the surface, beside the field of an open list; false when it is outside
// the list too, which closes the list and lets the press go to the window under it.
bool press_open(HWND w, POINT at) {
    combo_state &st = state(w);
    surface &s = current_surface();
    list_geometry g = open_list(w, s);
    const surface_metrics &m = s.metrics();
    if (inside(g.bar, at)) {
        press_scroll_bar(w, g, static_cast<int>(at.y));
        return true;
    }
    RECT rows{g.outer.left + m.border, g.outer.top + m.border, g.outer.right - m.border, g.outer.top + m.border + g.rows * m.line};
    if (inside(rows, at)) {
        set_dropped(w, false);
        user_select(w, g.first + static_cast<int>(at.y - rows.top) / std::max(1, m.line));
        return true;
    }
    if (inside(g.outer, at)) return true;  // the list's frame
    set_dropped(w, false);
    st.highlighted = st.selected;
    return false;
}

// A press on the field: on a drop-down's text it places the caret and closes the list;
// elsewhere it opens or closes the list.
void press_field(HWND w, POINT in_box) {
    surface &s = current_surface();
    const surface_metrics &m = s.metrics();
    RECT field = field_box(w, s);
    if (!is_drop_list(w) && in_box.x < field.right - m.border - m.button) {
        set_dropped(w, false);
        edit_click(w, s, field, m.button, static_cast<int>(in_box.x));
        return;
    }
    if (state(w).dropped) {
        set_dropped(w, false);
        state(w).highlighted = state(w).selected;
    } else {
        open_list_at_selection(w);
    }
}

LRESULT mouse_down(HWND w, LPARAM lp) {
    combo_state &st = state(w);
    surface &s = current_surface();
    RECT place = window_box(w, s);
    POINT p = point_of(lp);
    POINT at{p.x + place.left, p.y + place.top};
    RECT field = field_box(w, s);
    if (st.dropped && !inside(RECT{place.left, place.top, place.right, place.top + field.bottom}, at)) {
        return press_open(w, at) ? 0 : 1;
    }
    if ((w->style & WS_TABSTOP) == 0) return 0;
    SetFocus(w);
    press_field(w, p);
    return 0;
}

// The platform's type-ahead: letters typed within a second of each other make a prefix,
// searched from the current entry on; one letter typed again walks on to the next entry
// with that letter.
int type_ahead(HWND w, char32_t c, std::uint64_t when, int current) {
    combo_state &st = state(w);
    constexpr std::uint64_t quick_ms = 1000;
    std::u16string letter;
    append_utf16(letter, c);
    letter = fold_case(letter);
    if (st.typed.empty() || when < st.typed_at || when - st.typed_at > quick_ms) st.typed.clear();
    st.typed += letter;
    st.typed_at = when;
    bool one_letter = true;
    for (std::size_t i = 0; i + letter.size() <= st.typed.size(); i += letter.size()) {
        if (std::u16string_view(st.typed).substr(i, letter.size()) != letter) one_letter = false;
    }
    std::u16string_view prefix = one_letter ? std::u16string_view(letter) : std::u16string_view(st.typed);
    auto count = static_cast<int>(st.entries.size());
    int start = one_letter ? current + 1 : std::max(current, 0);
    for (int k = 0; k < count; ++k) {
        int i = ((start + k) % count + count) % count;
        if (starts_with_folded(st.entries[static_cast<std::size_t>(i)].folded, prefix)) return i;
    }
    return -1;
}

// Where Home, End, PgUp, PgDn and Up/Down lead from `from`; -2 when the key is not a move.
int moved_to(HWND w, key k, int from, bool in_field) {
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    if (count == 0) return -2;
    int page = std::max(1, list_rows(w, current_surface()));
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
    surface &s = current_surface();
    keep_caret_shown(w, s, field_box(w, s), s.metrics().button);
    return taken;
}

// The keys of an open list: it takes every one.
void open_list_key(HWND w, const input_event &e) {
    combo_state &st = state(w);
    int to = moved_to(w, e.k, st.highlighted, false);
    if (to >= 0) {
        st.highlighted = to;
    } else if (e.k == key::enter) {
        set_dropped(w, false);
        user_select(w, st.highlighted);
    } else if (e.k == key::escape) {
        set_dropped(w, false);
        st.highlighted = st.selected;
    } else if (e.k == key::character && !is_drop_list(w)) {
        edit_field_key(w, e);
    } else if (e.k == key::character && !st.entries.empty()) {
        int found = type_ahead(w, e.ch, e.time_ms, st.highlighted);
        if (found >= 0) st.highlighted = found;
    }
    show_highlighted(w);
}

bool combo_box_key(HWND w, const input_event &e) {
    combo_state &st = state(w);
    if (st.dropped) {
        open_list_key(w, e);
        return true;
    }
    bool in_field = !is_drop_list(w);
    int to = moved_to(w, e.k, st.selected, in_field);
    if (to >= 0) {
        user_select(w, to);
        return true;
    }
    if (e.k == key::enter) {
        open_list_at_selection(w);
        return true;
    }
    if (in_field) return edit_field_key(w, e);
    if (e.k == key::character && !st.entries.empty()) {
        int found = type_ahead(w, e.ch, e.time_ms, st.selected);
        if (found >= 0) user_select(w, found);
        return true;
    }
    return false;
}

// CB_ADDSTRING and CB_INSERTSTRING.
LRESULT add_entry(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    combo_state &st = state(w);
    if (lp == 0) return CB_ERR;
    std::u16string text = reinterpret_cast<LPCWSTR>(lp);
    combo_state::entry e{text, fold_case(text), 0};
    auto count = static_cast<int>(st.entries.size());
    int at = count;
    if (msg == CB_INSERTSTRING) {
        int want = static_cast<int>(wp);
        at = want < 0 || want > count ? count : want;
    } else if ((w->style & CBS_SORT) != 0) {
        // After entries that compare equal, so equal names keep their order of arrival.
        auto pos = std::upper_bound(st.entries.begin(), st.entries.end(), e.folded,
                                    [](const std::u16string &f, const combo_state::entry &x) { return f < x.folded; });
        at = static_cast<int>(pos - st.entries.begin());
    }
    st.entries.insert(st.entries.begin() + at, std::move(e));
    if (st.selected >= at) ++st.selected;
    if (st.highlighted >= at) ++st.highlighted;
    return at;
}

LRESULT find_entry(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    if (lp == 0 || count == 0) return CB_ERR;
    std::u16string prefix = fold_case(reinterpret_cast<LPCWSTR>(lp));
    // From the entry after `start` to the end, then from the first entry to `start` itself.
    int start = static_cast<int>(wp);
    if (start < -1 || start >= count) start = -1;
    for (int k = 1; k <= count; ++k) {
        int i = (start + k) % count;
        const std::u16string &folded = st.entries[static_cast<std::size_t>(i)].folded;
        if (msg == CB_FINDSTRINGEXACT ? folded == prefix : starts_with_folded(folded, prefix)) {
            if (msg == CB_SELECTSTRING) set_combo_selection(w, i);
            return i;
        }
    }
    return CB_ERR;
}

// The messages about the entries and the selection.
LRESULT entry_message(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    combo_state &st = state(w);
    auto count = static_cast<int>(st.entries.size());
    bool valid = static_cast<int>(wp) >= 0 && static_cast<int>(wp) < count;
    switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
        try {
            LRESULT at = add_entry(w, msg, wp, lp);
            if (at >= 0 && st.widest) {
                st.widest = std::max(*st.widest, current_surface().text_width(to_utf32(st.entries[static_cast<std::size_t>(at)].text)));
            }
            return at;
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
        if (!valid) return CB_ERR;
        st.entries.erase(st.entries.begin() + static_cast<std::ptrdiff_t>(wp));
        forget_widest(w);
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
        forget_widest(w);
        return 0;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return st.selected;
    case CB_SETCURSEL:
        set_combo_selection(w, valid ? static_cast<int>(wp) : -1);
        return valid ? st.selected : CB_ERR;
    case CB_GETLBTEXT:
        if (!valid || lp == 0) return CB_ERR;
        {
            std::u16string_view t = st.entry_text(wp);
            auto *out = reinterpret_cast<WCHAR *>(lp);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return static_cast<LRESULT>(t.size());
        }
    case CB_GETLBTEXTLEN:
        return valid ? static_cast<LRESULT>(st.entries[wp].text.size()) : CB_ERR;
    case CB_SETITEMDATA:
        if (!valid) return CB_ERR;
        st.entries[wp].data = lp;
        return 0;
    case CB_GETITEMDATA:
        return valid ? st.entries[wp].data : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING:
        return find_entry(w, msg, wp, lp);
    case CB_GETTOPINDEX:
        return st.list_top;
    default:
        return 0;
    }
}

// The window's text: a drop-down's edit field, or a drop list's selected entry.
LRESULT text_message(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    combo_state &st = state(w);
    std::u16string_view shown = !is_drop_list(w) ? std::u16string_view(w->text)
                                : st.selected >= 0 ? st.entry_text(static_cast<std::size_t>(st.selected))
                                                   : std::u16string_view();
    if (msg == WM_GETTEXT) return copy_text(shown, wp, lp);
    if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(shown.size());
    if (is_drop_list(w)) {
        // A list without an edit field takes a text only when an entry has it.
        if (lp == 0) return CB_ERR;
        std::u16string folded = fold_case(reinterpret_cast<LPCWSTR>(lp));
        for (std::size_t i = 0; i < st.entries.size(); ++i) {
            if (st.entries[i].folded == folded) {
                set_combo_selection(w, static_cast<int>(i));
                return TRUE;
            }
        }
        return CB_ERR;
    }
    w->text = lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"";
    st.caret = st.anchor = w->text.size();
    st.scroll = 0;
    select_entry_of_text(w);
    return TRUE;
}

}  // namespace

LRESULT combo_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        w->extra = std::make_unique<combo_state>();
        return 0;
    }
    combo_state &st = state(w);
    switch (msg) {
    case WM_PAINT:
        paint_combo(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case wm_paint_popup:
        if (st.dropped) paint_open_list(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case WM_NCHITTEST: {
        // Only the field is the box's own: below it lie the controls its list covers when open.
        surface &s = current_surface();
        return point_of(lp).y < field_box(w, s).bottom ? HTCLIENT : HTNOWHERE;
    }
    case WM_LBUTTONDOWN:
        return mouse_down(w, lp);
    case WM_MOUSEMOVE:
        drag_thumb(w, static_cast<int>(point_of(lp).y + window_box(w, current_surface()).top));
        return 0;
    case WM_LBUTTONUP:
        st.grab.reset();
        return 0;
    case WM_MOUSEWHEEL:
        if (st.dropped) scroll_list(w, st.list_top - 3 * static_cast<short>(HIWORD(wp)) / WHEEL_DELTA);
        return 0;
    case WM_KILLFOCUS:
        if (st.dropped) {
            set_dropped(w, false);
            st.highlighted = st.selected;
        }
        return 0;
    case WM_GETDLGCODE:
        return st.dropped ? DLGC_WANTALLKEYS : 0;
    case wm_screen_changed:
        forget_widest(w);
        if (st.dropped) show_highlighted(w);
        return 0;
    case wm_key:
        return combo_box_key(w, *reinterpret_cast<const input_event *>(lp)) ? TRUE : FALSE;
    case CB_SHOWDROPDOWN:
        set_dropped(w, wp != 0);
        st.highlighted = st.selected;
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return st.dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        st.limit = wp == 0 ? 0x7FFFFFFE : wp;
        return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_SETTEXT:
        return text_message(w, msg, wp, lp);
    default:
        return entry_message(w, msg, wp, lp);
    }
}

}  // namespace orvane_platform
