// A dialog's title bar: its caption and, where the dialog asks for one, the "ok" button,
// painted and clicked with one geometry.
#include <algorithm>

#include "../common/utf.h"
#include "controls.h"

namespace orvane_platform {
namespace {

// The "ok" button in the bar's box, or an empty box where there is none (or no room for one).
RECT ok_button(HWND caption, surface &s) {
    const surface_metrics &m = s.metrics();
    HWND dialog = caption->parent;
    if (dialog == nullptr || (dialog->exstyle & WS_EX_CAPTIONOKBTN) == 0 || m.width < 8 * m.char_w) return RECT{};
    int y = (m.bar - m.line) / 2;
    int width = s.text_width(U"ok") + 2 * m.padding;
    return RECT{m.width - m.char_w - width, y, m.width - m.char_w, y + m.line};
}

void paint(device_context &dc, HWND caption) {
    const surface_metrics &m = dc.metrics();
    dc.fill(dc.box(), role::bar);
    RECT ok = ok_button(caption, dc.target());
    RECT title{m.char_w, 0, m.width - m.char_w, m.bar};
    int y = (m.bar - m.line) / 2;
    if (ok.right > ok.left) {
        dc.frame(ok, role::bar_label);
        dc.text(static_cast<int>(ok.left) + m.padding, y, ok, U"ok", role::bar_label, false);
        title.right = ok.left - 2 * m.char_w;
    }
    dc.text(static_cast<int>(title.left), y, title, to_utf32(caption->parent != nullptr ? caption->parent->text : u""),
            role::bar_label, true);
}

}  // namespace

RECT title_bar_rect() {
    const surface_metrics &m = current_surface().metrics();
    return RECT{0, 0, m.width * m.unit_x, m.bar * m.unit_y};
}

HWND make_caption(HWND dialog) {
    dialog->caption = make_window(HWND__::kind::caption, 0, 0, u"", -1, title_bar_rect(), dialog);
    return dialog->caption;
}

LRESULT caption_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paint(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case WM_LBUTTONDOWN: {
        POINT p = point_of(lp);
        RECT ok = ok_button(w, current_surface());
        if (p.x >= ok.left && p.x < ok.right && p.y >= ok.top && p.y < ok.bottom) send_command(w->parent, IDOK);
        return 0;
    }
    case WM_NCHITTEST:
        return HTCLIENT;
    case wm_screen_changed:
        w->rect = title_bar_rect();
        return 0;
    default:
        return 0;
    }
}

}  // namespace orvane_platform
