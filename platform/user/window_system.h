// The window system's inner state, shared by its parts, the painter and the framework.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../display/display.h"
#include "../display/surface.h"

struct HMENU__ {
    struct item {
        UINT flags;
        UINT_PTR id;
        std::u16string text;
    };
    std::vector<item> items;
};

struct HICON__ {
    int kind;  // IMAGE_ICON or IMAGE_BITMAP
    WORD id;
    bool shared = false;  // icons from resources are shared and never freed, as on the device
};

namespace orvane_platform {
// What a control keeps of its own, as a window's extra bytes: each control's file defines it.
struct window_extra {
    virtual ~window_extra() = default;
};
}  // namespace orvane_platform

struct HWND__ {
    enum class kind { dialog, statik, edit, combo, button, listbox, menubar, other };
    kind type = kind::other;
    std::u16string class_name;
    DWORD style = 0;
    DWORD exstyle = 0;
    std::u16string text;
    int id = 0;
    RECT rect{};  // pixels, in the parent's client coordinates
    HWND__ *parent = nullptr;
    std::vector<HWND__ *> children;

    // dialogs
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HICON icons[2] = {nullptr, nullptr};
    HWND__ *menu_bar = nullptr;

    // the control's own state
    std::unique_ptr<orvane_platform::window_extra> extra;

    // menu bars
    HMENU menu = nullptr;
};

namespace orvane_platform {

// A little-endian reader over resource bytes; a read past the end clears `ok` and gives 0.
struct le_reader {
    const BYTE *begin;
    const BYTE *p;
    const BYTE *end;
    bool ok = true;

    le_reader(const BYTE *from, const BYTE *to) : begin(from), p(from), end(to) {}
    WORD word() {
        if (end - p < 2) {
            ok = false;
            return 0;
        }
        auto v = static_cast<WORD>(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    DWORD dword() {
        DWORD lo = word();
        return lo | (static_cast<DWORD>(word()) << 16);
    }
    // An ordinal (0xFFFF, n), giving n, or a NUL-terminated string, giving 0 and the text.
    WORD sz_or_ord(std::u16string &text) {
        WORD first = word();
        if (!ok) return 0;
        if (first == 0xFFFF) return word();
        for (WORD c = first; ok && c != 0; c = word()) text += static_cast<char16_t>(c);
        return 0;
    }
    void align4() {
        auto off = static_cast<std::size_t>(p - begin);
        std::size_t pad = (4 - off % 4) % 4;
        if (static_cast<std::size_t>(end - p) < pad) {
            ok = false;
            return;
        }
        p += pad;
    }
};

struct message_box_record {
    std::u16string text;
    std::u16string caption;
    UINT type;
};

struct window_system {
    std::vector<HWND> windows;  // every live window, oldest first
    std::vector<HWND> dialogs;  // top-level dialogs, oldest first
    std::deque<MSG> queue;
    HWND focus = nullptr;
    bool quit_posted = false;
    int quit_code = 0;
    bool in_modal_box = false;
    message_box_record open_box{};
    std::vector<message_box_record> boxes_shown;
};

inline window_system &windows() {
    static window_system ws;
    return ws;
}
bool is_live(HWND w);
bool is_drop_down_edit(HWND w);
bool is_drop_list(HWND w);
RECT window_rect_on_screen(HWND w);

// The window core (window.cpp).
HWND make_window(HWND__::kind k, const std::u16string &cls, DWORD style, DWORD exstyle, const std::u16string &text,
                 int id, RECT rect, HWND parent);
LRESULT copy_text(std::u16string_view text, WPARAM max, LPARAM buffer);
// The text messages of windows whose text is plain: true when `msg` was one of them.
bool plain_text_message(HWND w, UINT msg, WPARAM wp, LPARAM lp, LRESULT &result);

// The platform's own messages to its controls. WM_PAINT carries a device_context* in wParam.
inline constexpr UINT wm_paint_list = 0x7F00;  // wParam: device_context* over the whole screen
inline constexpr UINT wm_key = 0x7F01;         // lParam: const input_event*; gives TRUE when taken
inline constexpr UINT wm_click = 0x7F02;       // wParam: the open list's entry clicked, or -1; lParam: x in the box
inline constexpr UINT wm_wheel = 0x7F03;       // wParam: steps, negative up
inline constexpr UINT wm_list_hit = 0x7F04;    // lParam: const POINT* on the surface; gives the open list's entry there + 1, or 0
inline constexpr UINT wm_screen_changed = 0x7F05;  // the screen's size changed

// Each control's message procedure.
LRESULT dialog_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT combo_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
LRESULT static_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
bool dialog_key(HWND dialog, const input_event &e);
// The edit field shared by edits and drop-down combo boxes: its keys, where a click `x`
// units into its box puts the caret, and its look with `reserved` units kept at the right.
bool edit_key(HWND w, const input_event &e);
void edit_click(HWND w, surface &s, int x);
void paint_field(device_context &dc, HWND w, std::u16string_view text, bool editable, bool masked, int reserved);

// The surface the screen is drawn on: the display's, or cells of the last size set.
surface &current_surface();
// Where a control stands on a surface: a combo box without its list, one field high.
RECT control_box(HWND w, surface &s);

// Where an open list stands on a surface: below its field, as wide as its widest entry
// needs (with room for a scroll bar) up to the screen's width, as many entries as fit.
struct list_place {
    int col = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
};
list_place open_list_place(HWND combo, surface &s);
inline list_place open_list_place(HWND combo) { return open_list_place(combo, current_surface()); }
// Sends the command of soft key 0 (left) or 1 (right) to the dialog.
void soft_key(HWND dialog, std::size_t which);
void send_command(HWND dialog, UINT_PTR id);

// Handles one input event as the user's action; returns false when input has ended.
bool handle_input(const input_event &e);
// Draws every window on `s`.
void paint_screen(surface &s);
// Draws and presents the screen on the current display.
void refresh_display();
// The size of the screen changed (in the surface's units): dialogs fill it again and get WM_SIZE.
void screen_resized(int width, int height);
// Pumps posted messages; returns false when WM_QUIT was taken.
bool pump_messages();
void clear_window_system();
// Builds a dialog from template bytes of a known size.
HWND create_dialog_from_bytes(const void *bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM init);
// Runs the modal loop of a dialog until it ends or WM_QUIT arrives; destroys it.
INT_PTR run_modal(HWND dialog);

}  // namespace orvane_platform
