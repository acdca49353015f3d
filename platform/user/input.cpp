// Routes the user's keys and clicks to the control or dialog that owns them.
#include <algorithm>

#include "../common/utf.h"
#include "window_system.h"

namespace orvane_platform {
namespace {

HWND top_dialog() {
    auto &ws = windows();
    return ws.dialogs.empty() ? nullptr : ws.dialogs.back();
}

// The control under a cell, open lists first.
HWND control_at(HWND dialog, int column, int row, int *list_index, int *cells_in) {
    *list_index = -1;
    *cells_in = 0;
    for (HWND c : dialog->children) {
        if (c->type != HWND__::kind::combo || !c->dropped) continue;
        list_place p = open_list_place(c);
        int shown_row = row - p.top;
        if (column >= p.col && column < p.col + p.width && shown_row >= 0 && shown_row < p.rows) {
            int first = std::clamp(c->list_top, 0, std::max(0, static_cast<int>(c->entries.size()) - p.rows));
            *list_index = first + shown_row;
            return c;
        }
    }
    for (HWND c : dialog->children) {
        RECT r = window_rect_on_screen(c);
        int col = (r.left + cell_width / 2) / cell_width;
        int top = (r.top + cell_height / 2) / cell_height;
        int width = std::max(1, static_cast<int>((r.right - r.left + cell_width / 2) / cell_width));
        if (row == top && column >= col && column < col + width) {
            *cells_in = column - col;
            return c;
        }
    }
    return nullptr;
}

HWND open_list(HWND dialog) {
    for (HWND c : dialog->children) {
        if (c->type == HWND__::kind::combo && c->dropped) return c;
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
    int cells_in = 0;
    HWND c = control_at(dialog, column, row, &index, &cells_in);
    for (HWND other : dialog->children) {
        if (other != c) other->dropped = false;
    }
    if (c == nullptr || (c->style & WS_TABSTOP) == 0) return;
    SetFocus(c);
    bool on_edit_text = c->type == HWND__::kind::edit || (is_drop_down_edit(c) && index < 0 &&
                                                          cells_in < std::max(1, static_cast<int>((c->rect.right - c->rect.left + cell_width / 2) / cell_width)) - 1);
    if (on_edit_text) {
        c->dropped = false;
        edit_click(c, cells_in);
        return;
    }
    if (c->type == HWND__::kind::combo) combo_box_click(c, index);
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
    if (e.type == input_event::kind::wheel) {
        if (HWND list = open_list(dialog)) combo_box_wheel(list, e.wheel);
        return true;
    }
    if (e.k == key::unbound || e.k == key::none) return true;
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
    // An open list takes every key; otherwise the dialog's own keys come before the control's.
    if (focus != nullptr && focus->type == HWND__::kind::combo && focus->dropped) {
        combo_box_key(focus, e);
        return true;
    }
    if (dialog_key(dialog, e)) return true;
    if (focus != nullptr) {
        if (focus->type == HWND__::kind::combo) combo_box_key(focus, e);
        if (focus->type == HWND__::kind::edit && (focus->style & ES_READONLY) == 0) edit_key(focus, e);
    }
    return true;
}

}  // namespace orvane_platform
