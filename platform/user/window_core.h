// The window core: windows, their tree, the message queue, focus and mouse capture, the
// modal loop and the paint pass. Shared by the window system's parts, the framework and tools.
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
// What a window keeps of its own, as its extra bytes: each window's file defines it.
struct window_extra {
    virtual ~window_extra() = default;
};
}  // namespace orvane_platform

struct HWND__ {
    // Which procedure the window has. A dialog owns its caption and soft-key bar; a message
    // box is a top-level window of its own.
    enum class kind { dialog, statik, edit, combo, button, listbox, caption, menubar, message_box, other };
    kind type = kind::other;
    DWORD style = 0;
    DWORD exstyle = 0;
    std::u16string text;
    int id = 0;
    RECT rect{};  // pixels, in the parent's client coordinates; a dialog's bars on the screen
    HWND__ *parent = nullptr;
    std::vector<HWND__ *> children;

    // dialogs
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HICON icons[2] = {nullptr, nullptr};
    HWND__ *caption = nullptr;
    HWND__ *menu_bar = nullptr;

    std::unique_ptr<orvane_platform::window_extra> extra;

    // menu bars
    HMENU menu = nullptr;
};

namespace orvane_platform {

struct message_box_record {
    std::u16string text;
    std::u16string caption;
    UINT type;
};

struct window_system {
    std::vector<HWND> windows;  // every live window, oldest first
    std::vector<HWND> dialogs;  // top-level windows (dialogs, message boxes), oldest first
    std::deque<MSG> queue;
    HWND focus = nullptr;
    HWND capture = nullptr;  // the window that gets every mouse message
    bool quit_posted = false;
    int quit_code = 0;
    std::vector<message_box_record> boxes_shown;
    // Without a display, windows are laid out on cells of the terminal's usual 40 x 24 (or
    // the last size set); cleared with the rest.
    std::unique_ptr<surface> undisplayed;
};

inline window_system &windows() {
    static window_system ws;
    return ws;
}
bool is_live(HWND w);
RECT window_rect_on_screen(HWND w);
// Where a window stands on a surface, in its units.
RECT window_box(HWND w, surface &s);

HWND make_window(HWND__::kind k, DWORD style, DWORD exstyle, const std::u16string &text, int id, RECT rect, HWND parent);
LRESULT copy_text(std::u16string_view text, WPARAM max, LPARAM buffer);
// The text messages of windows whose text is plain: true when `msg` was one of them.
bool plain_text_message(HWND w, UINT msg, WPARAM wp, LPARAM lp, LRESULT &result);

// Every mouse message goes to `w` until it lets go (nullptr).
void set_capture(HWND w);
HWND capture();

// The surface the screen is drawn on: the display's, or cells of the last size set.
surface &current_surface();

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
// Builds a dialog from template bytes of a known size and shows it, without a modal loop.
HWND create_dialog_from_bytes(const void *bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM init);
// Runs the modal loop of a dialog or message box until it ends or WM_QUIT arrives; destroys it.
INT_PTR run_modal(HWND dialog);

}  // namespace orvane_platform
