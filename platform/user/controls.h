// The windows' procedures and the platform's own messages between the core and them.
#pragma once

#include "window_core.h"

namespace orvane_platform {

// The platform's own messages. WM_PAINT carries a device_context* over the window's box in wParam.
inline constexpr UINT wm_paint_popup = 0x7F00;     // wParam: device_context* over the whole screen, for an open list
inline constexpr UINT wm_key = 0x7F01;             // lParam: const input_event*; gives TRUE when taken
inline constexpr UINT wm_screen_changed = 0x7F05;  // the screen's size changed

// Mouse messages carry a point in the window's own coordinates, in the surface's units
// (negative left of or above the window): pack and unpack it with these.
inline LPARAM point_param(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
inline POINT point_of(LPARAM lp) {
    return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

// Each window's message procedure.
LRESULT dialog_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT combo_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT static_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT caption_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT soft_key_bar_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT message_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

// The dialog's own keys (Tab, Shift+Tab, Esc).
bool dialog_key(HWND dialog, const input_event &e);
void send_command(HWND dialog, UINT_PTR id);
// Sends the command of soft key 0 (left) or 1 (right) to the dialog.
void soft_key(HWND dialog, std::size_t which);
// A dialog's title bar, made with the dialog and destroyed with it.
HWND make_caption(HWND dialog);
// Where a dialog's bars stand on the screen, in window pixels.
RECT title_bar_rect();
RECT soft_key_bar_rect();

// The edit field shared by edits and drop-down combo boxes, in `box` (window coordinates)
// with `reserved` units kept at its right: its keys, where a click at `x` puts the caret
// (`extend`: where a drag takes the selection's end),
// the scroll that keeps the caret in sight after either, and its look.
bool edit_key(HWND w, const input_event &e);
void edit_click(HWND w, surface &s, RECT box, int reserved, int x, bool extend = false);
void keep_caret_shown(HWND w, surface &s, RECT box, int reserved);
void paint_field(device_context &dc, HWND w, RECT box, std::u16string_view text, bool editable, int reserved);

}  // namespace orvane_platform
