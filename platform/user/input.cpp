// Routes the user's keys and mouse to the window that owns them, as messages: the mouse to
// the window holding it or the one under it, keys to the focus after the dialog's own.
#include "controls.h"

namespace orvane_platform {
namespace {

HWND top_dialog() {
    auto &ws = windows();
    return ws.dialogs.empty() ? nullptr : ws.dialogs.back();
}

bool inside(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

LRESULT send_mouse(HWND w, UINT msg, int x, int y) {
    RECT box = window_box(w, current_surface());
    return SendMessage(w, msg, 0, point_param(x - static_cast<int>(box.left), y - static_cast<int>(box.top)));
}

// The window of the top dialog under a point of the surface that says the point is its own.
HWND window_at(int x, int y) {
    HWND dialog = top_dialog();
    if (dialog == nullptr) return nullptr;
    std::vector<HWND> parts = dialog->children;
    parts.push_back(dialog->caption);
    parts.push_back(dialog->menu_bar);
    surface &s = current_surface();
    for (HWND w : parts) {
        if (w == nullptr) continue;
        RECT box = window_box(w, s);
        if (inside(box, x, y) && send_mouse(w, WM_NCHITTEST, x, y) != HTNOWHERE) return w;
    }
    return nullptr;
}

void mouse(UINT msg, int x, int y) {
    HWND held = capture();
    HWND target = held != nullptr ? held : msg == WM_LBUTTONDOWN ? window_at(x, y) : nullptr;
    if (target == nullptr) return;
    // A press the holding window lets go of belongs to the window under it.
    if (send_mouse(target, msg, x, y) != 0 && held != nullptr && msg == WM_LBUTTONDOWN) {
        if (HWND under = window_at(x, y); under != nullptr && under != held) send_mouse(under, msg, x, y);
    }
}

}  // namespace

bool handle_input(const input_event &e) {
    HWND dialog = top_dialog();
    using kind = input_event::kind;
    switch (e.type) {
    case kind::none:
        if (dialog != nullptr) EndDialog(dialog, IDCANCEL);
        return false;
    case kind::resize: {
        int w = 0;
        int h = 0;
        if (display *d = current_display()) d->size(w, h);
        screen_resized(w, h);
        return true;
    }
    case kind::click:
        mouse(WM_LBUTTONDOWN, e.column, e.row);
        return true;
    case kind::drag:
        mouse(WM_MOUSEMOVE, e.column, e.row);
        return true;
    case kind::release:
        mouse(WM_LBUTTONUP, e.column, e.row);
        return true;
    case kind::wheel:
        if (HWND w = capture() != nullptr ? capture() : windows().focus; is_live(w)) {
            SendMessage(w, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-e.wheel * WHEEL_DELTA)), 0);
        }
        return true;
    case kind::key:
        break;
    }
    if (dialog == nullptr || e.k == key::unbound || e.k == key::none) return true;
    if (e.k == key::f1 || e.k == key::f2) {
        soft_key(dialog, e.k == key::f1 ? 0 : 1);
        return true;
    }
    HWND focus = windows().focus;
    if (!is_live(focus)) focus = nullptr;
    auto as_message = reinterpret_cast<LPARAM>(&e);
    // A window that wants every key (an open list) has it before the dialog's own keys.
    if (focus != nullptr && (SendMessage(focus, WM_GETDLGCODE, 0, as_message) & DLGC_WANTALLKEYS) != 0) {
        SendMessage(focus, wm_key, 0, as_message);
        return true;
    }
    if (dialog_key(dialog, e)) return true;
    if (focus != nullptr) SendMessage(focus, wm_key, 0, as_message);
    return true;
}

}  // namespace orvane_platform
