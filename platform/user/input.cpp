// The user's keys and clicks, turned into what the controls and the dialog do.
#include <algorithm>

#include "../common/utf.h"
#include "window_system.h"

namespace orvane_platform {
namespace {

HWND top_dialog() {
    auto &ws = windows();
    return ws.dialogs.empty() ? nullptr : ws.dialogs.back();
}

std::vector<HWND> tab_stops(HWND dialog) {
    std::vector<HWND> out;
    for (HWND c : dialog->children) {
        if ((c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0) out.push_back(c);
    }
    return out;
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

void send_command(HWND dialog, UINT_PTR id) {
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

void soft_key(HWND dialog, std::size_t which) {
    HWND bar = dialog->menu_bar;
    if (bar == nullptr || bar->menu == nullptr || bar->menu->items.size() <= which) return;
    send_command(dialog, bar->menu->items[which].id);
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

bool combo_key(HWND w, const input_event &e) {
    auto count = static_cast<int>(w->entries.size());
    if (w->dropped) {
        switch (e.k) {
        case key::up:
            if (w->highlighted > 0) --w->highlighted;
            return true;
        case key::down:
            if (w->highlighted < count - 1) ++w->highlighted;
            return true;
        case key::enter:
            w->dropped = false;
            user_select(w, w->highlighted);
            return true;
        case key::escape:
            w->dropped = false;
            w->highlighted = w->selected;
            return true;
        default:
            return true;  // an open list takes every key
        }
    }
    switch (e.k) {
    case key::up:
        if (count > 0) user_select(w, w->selected <= 0 ? 0 : w->selected - 1);
        return true;
    case key::down:
        if (count > 0) user_select(w, w->selected < 0 ? 0 : std::min(w->selected + 1, count - 1));
        return true;
    case key::enter:
        w->dropped = true;
        w->highlighted = w->selected < 0 && count > 0 ? 0 : w->selected;
        return true;
    default:
        return is_drop_down_edit(w) && edit_key(w, e);
    }
}

void move_focus(HWND dialog, bool forward) {
    auto stops = tab_stops(dialog);
    if (stops.empty()) return;
    auto it = std::find(stops.begin(), stops.end(), windows().focus);
    std::ptrdiff_t i = it == stops.end() ? -1 : it - stops.begin();
    auto n = static_cast<std::ptrdiff_t>(stops.size());
    i = forward ? (i + 1) % n : (i <= 0 ? n - 1 : i - 1);
    SetFocus(stops[static_cast<std::size_t>(i)]);
}

// The control under a cell, open lists first.
HWND control_at(HWND dialog, int column, int row, int *list_index) {
    *list_index = -1;
    for (HWND c : dialog->children) {
        if (c->type != HWND__::kind::combo || !c->dropped) continue;
        RECT r = window_rect_on_screen(c);
        int col = (r.left + cell_width / 2) / cell_width;
        int top = (r.top + cell_height / 2) / cell_height + 1;
        int width = std::max(1, static_cast<int>((r.right - r.left + cell_width / 2) / cell_width));
        int index = row - top;
        if (column >= col && column < col + width && index >= 0 && index < static_cast<int>(c->entries.size())) {
            *list_index = index;
            return c;
        }
    }
    for (HWND c : dialog->children) {
        RECT r = window_rect_on_screen(c);
        int col = (r.left + cell_width / 2) / cell_width;
        int top = (r.top + cell_height / 2) / cell_height;
        int width = std::max(1, static_cast<int>((r.right - r.left + cell_width / 2) / cell_width));
        if (row == top && column >= col && column < col + width) return c;
    }
    return nullptr;
}

void click(HWND dialog, int column, int row) {
    auto &ws = windows();
    if (row == 0) {
        if ((dialog->exstyle & WS_EX_CAPTIONOKBTN) != 0 && column >= ws.columns - 4) send_command(dialog, IDOK);
        return;
    }
    if (row == ws.rows - 1) {
        soft_key(dialog, column < ws.columns / 2 ? 0 : 1);
        return;
    }
    int index = -1;
    HWND c = control_at(dialog, column, row, &index);
    for (HWND other : dialog->children) {
        if (other != c) other->dropped = false;
    }
    if (c == nullptr || (c->style & WS_TABSTOP) == 0) return;
    SetFocus(c);
    if (c->type == HWND__::kind::combo) {
        if (index >= 0) {
            c->dropped = false;
            user_select(c, index);
        } else {
            c->dropped = !c->dropped;
            c->highlighted = c->selected;
        }
    }
}

}  // namespace

bool handle_input(const input_event &e) {
    HWND dialog = top_dialog();
    if (e.type == input_event::kind::none) {
        if (dialog != nullptr) EndDialog(dialog, IDCANCEL);
        return false;
    }
    if (e.type == input_event::kind::resize) {
        int c = 0;
        int r = 0;
        if (display *d = current_display()) d->size(c, r);
        screen_resized(c, r);
        return true;
    }
    if (dialog == nullptr) return true;
    if (e.type == input_event::kind::click) {
        click(dialog, e.column, e.row);
        return true;
    }
    HWND focus = windows().focus;
    if (focus != nullptr && !is_live(focus)) focus = nullptr;
    if (e.k == key::f1) {
        soft_key(dialog, 0);
        return true;
    }
    if (e.k == key::f2) {
        soft_key(dialog, 1);
        return true;
    }
    if (focus != nullptr && focus->type == HWND__::kind::combo && focus->dropped) {
        combo_key(focus, e);
        return true;
    }
    if (e.k == key::tab || e.k == key::backtab) {
        move_focus(dialog, e.k == key::tab);
        return true;
    }
    if (e.k == key::escape) {
        send_command(dialog, IDCANCEL);
        return true;
    }
    if (focus != nullptr) {
        if (focus->type == HWND__::kind::combo && combo_key(focus, e)) return true;
        if (focus->type == HWND__::kind::edit && (focus->style & ES_READONLY) == 0 && edit_key(focus, e)) return true;
    }
    return true;
}

}  // namespace orvane_platform
