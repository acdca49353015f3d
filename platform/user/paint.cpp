// The paint pass: every top-level window, oldest first, each window painting itself; a
// dialog's open lists come after its controls so that they lie over the controls below them.
#include "controls.h"

namespace orvane_platform {
namespace {

// A control paints in its box, and shows only between its dialog's bars and on the screen;
// what lies over the screen (a dialog's background, an open list, a message box) gets all of it.
void paint_window(surface &s, HWND w, UINT msg = WM_PAINT) {
    if (w == nullptr) return;
    const surface_metrics &m = s.metrics();
    RECT screen{0, 0, m.width, m.height};
    bool whole = msg != WM_PAINT || w->type == HWND__::kind::dialog || w->type == HWND__::kind::message_box;
    bool bar = w->type == HWND__::kind::caption || w->type == HWND__::kind::menubar;
    RECT shows = bar ? screen : RECT{0, m.bar, m.width, m.height - m.bar};
    device_context dc(s, whole ? screen : window_box(w, s), whole ? screen : shows);
    s.painting(w);
    SendMessage(w, msg, reinterpret_cast<WPARAM>(&dc), 0);
    s.painting(nullptr);
}

void paint_dialog(surface &s, HWND dialog) {
    paint_window(s, dialog);
    paint_window(s, dialog->caption);
    for (HWND c : dialog->children) paint_window(s, c);
    for (HWND c : dialog->children) paint_window(s, c, wm_paint_popup);
    paint_window(s, dialog->menu_bar);
}

}  // namespace

void paint_screen(surface &s) {
    const surface_metrics &m = s.metrics();
    s.fill(RECT{0, 0, m.width, m.height}, role::window);
    s.fill(RECT{0, 0, m.width, m.bar}, role::bar);
    if (m.height > m.bar) s.fill(RECT{0, m.height - m.bar, m.width, m.height}, role::bar);
    for (HWND top : windows().dialogs) {
        if (top->type == HWND__::kind::dialog) {
            paint_dialog(s, top);
        } else {
            paint_window(s, top);
        }
    }
}

void refresh_display() {
    if (display *d = current_display()) d->paint([](surface &s) { paint_screen(s); });
}

}  // namespace orvane_platform
