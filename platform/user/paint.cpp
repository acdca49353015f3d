// The paint pass: every top-level window, oldest first, each window painting itself; a
// dialog's open lists come after its controls so that they lie over the controls below them.
#include "controls.h"

namespace orvane_platform {
namespace {

// A control paints in its box; what lies over the screen (a dialog's background, an open
// list, a message box) gets the whole screen.
void paint_window(surface &s, HWND w, UINT msg = WM_PAINT) {
    if (w == nullptr) return;
    const surface_metrics &m = s.metrics();
    bool whole = msg != WM_PAINT || w->type == HWND__::kind::dialog || w->type == HWND__::kind::message_box;
    device_context dc(s, whole ? RECT{0, 0, m.width, m.height} : window_box(w, s));
    SendMessage(w, msg, reinterpret_cast<WPARAM>(&dc), 0);
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
