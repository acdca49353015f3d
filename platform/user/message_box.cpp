// The modal message box: a framed text with one OK button, closed by Enter, Esc, Space or a click.
#include "window_system.h"

using orvane_platform::windows;

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    auto &ws = windows();
    orvane_platform::message_box_record box{text != nullptr ? text : u"", caption != nullptr ? caption : u"", type};
    ws.boxes_shown.push_back(box);
    (void)owner;
    bool was_open = ws.in_modal_box;
    orvane_platform::message_box_record outer = ws.open_box;
    ws.in_modal_box = true;
    ws.open_box = box;
    for (;;) {
        orvane_platform::refresh_display();
        orvane_platform::display *d = orvane_platform::current_display();
        if (d == nullptr) break;
        orvane_platform::input_event e = d->wait_event();
        if (e.type == orvane_platform::input_event::kind::none) break;
        if (e.type == orvane_platform::input_event::kind::resize) {
            int c = 0;
            int r = 0;
            d->size(c, r);
            orvane_platform::screen_resized(c, r);
            continue;
        }
        if (e.type == orvane_platform::input_event::kind::click) break;  // anywhere: the box's only button
        if (e.type == orvane_platform::input_event::kind::key &&
            (e.k == orvane_platform::key::enter || e.k == orvane_platform::key::escape ||
             (e.k == orvane_platform::key::character && e.ch == U' '))) {
            break;
        }
    }
    ws.in_modal_box = was_open;
    ws.open_box = outer;
    return IDOK;
}
