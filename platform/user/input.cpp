// Routes the user's keys and clicks to the control or dialog that owns them, as messages.
#include <algorithm>

#include "../common/utf.h"
#include "window_system.h"

namespace orvane_platform {
namespace {

HWND top_dialog() {
    auto &ws = windows();
    return ws.dialogs.empty() ? nullptr : ws.dialogs.back();
}

bool inside(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

bool dropped(HWND c) { return SendMessage(c, CB_GETDROPPEDSTATE, 0, 0) == TRUE && c->type == HWND__::kind::combo; }

// The control under a point of the surface, open lists first.
HWND control_at(HWND dialog, surface &s, int x, int y, int *list_index, int *x_in) {
    *list_index = -1;
    *x_in = 0;
    POINT at{x, y};
    for (HWND c : dialog->children) {
        if (LRESULT hit = SendMessage(c, wm_list_hit, 0, reinterpret_cast<LPARAM>(&at)); hit > 0) {
            *list_index = static_cast<int>(hit - 1);
            return c;
        }
    }
    for (HWND c : dialog->children) {
        RECT box = control_box(c, s);
        if (inside(box, x, y)) {
            *x_in = x - box.left;
            return c;
        }
    }
    return nullptr;
}

HWND open_list(HWND dialog) {
    for (HWND c : dialog->children) {
        if (dropped(c)) return c;
    }
    return nullptr;
}

void click(HWND dialog, int x, int y) {
    surface &s = current_surface();
    const surface_metrics &m = s.metrics();
    if (y < m.bar) {
        if ((dialog->exstyle & WS_EX_CAPTIONOKBTN) != 0 && x >= m.width - 4 * m.char_w) send_command(dialog, IDOK);
        return;
    }
    if (y >= m.height - m.bar) {
        soft_key(dialog, x < m.width / 2 ? 0 : 1);
        return;
    }
    int index = -1;
    int x_in = 0;
    HWND c = control_at(dialog, s, x, y, &index, &x_in);
    for (HWND other : dialog->children) {
        if (other != c) SendMessage(other, CB_SHOWDROPDOWN, FALSE, 0);
    }
    if (c == nullptr || (c->style & WS_TABSTOP) == 0) return;
    SetFocus(c);
    SendMessage(c, wm_click, static_cast<WPARAM>(index), x_in);
}

}  // namespace

bool handle_input(const input_event &e) {
    HWND dialog = top_dialog();
    if (e.type == input_event::kind::none) {
        if (dialog != nullptr) EndDialog(dialog, IDCANCEL);
        return false;
    }
    if (e.type == input_event::kind::resize) {
        int w = 0;
        int h = 0;
        if (display *d = current_display()) d->size(w, h);
        screen_resized(w, h);
        return true;
    }
    if (dialog == nullptr) return true;
    if (e.type == input_event::kind::click) {
        click(dialog, e.column, e.row);
        return true;
    }
    if (e.type == input_event::kind::wheel) {
        if (HWND list = open_list(dialog)) SendMessage(list, wm_wheel, static_cast<WPARAM>(e.wheel), 0);
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
    auto as_message = reinterpret_cast<LPARAM>(&e);
    // An open list takes every key; otherwise the dialog's own keys come before the control's.
    if (focus != nullptr && dropped(focus)) {
        SendMessage(focus, wm_key, 0, as_message);
        return true;
    }
    if (dialog_key(dialog, e)) return true;
    if (focus != nullptr) SendMessage(focus, wm_key, 0, as_message);
    return true;
}

}  // namespace orvane_platform
