// The window and message core: creating, routing messages to each window's procedure,
// the queue, positions, focus, mouse capture and destruction.
#include <algorithm>

#include "../display/cell_surface.h"
#include "controls.h"

using orvane_platform::windows;

namespace orvane_platform {

bool is_live(HWND w) {
    const auto &all = windows().windows;
    return w != nullptr && std::find(all.begin(), all.end(), w) != all.end();
}

surface &current_surface() {
    if (display *d = current_display()) return d->screen();
    auto &ws = windows();
    if (!ws.undisplayed) ws.undisplayed = std::make_unique<cell_surface>(40, 24);
    return *ws.undisplayed;
}

namespace {
// A dialog's bars and a message box stand on the screen; controls in their parent.
bool is_control(const HWND__ &w) {
    return w.type != HWND__::kind::caption && w.type != HWND__::kind::menubar && w.type != HWND__::kind::message_box;
}
}  // namespace

RECT window_rect_on_screen(HWND w) {
    RECT r = w->rect;
    for (HWND p = is_control(*w) ? w->parent : nullptr; p != nullptr; p = p->parent) {
        r.left += p->rect.left;
        r.right += p->rect.left;
        r.top += p->rect.top;
        r.bottom += p->rect.top;
    }
    return r;
}

RECT window_box(HWND w, surface &s) { return s.place(window_rect_on_screen(w)); }

void set_capture(HWND w) { windows().capture = w; }
HWND capture() {
    HWND w = windows().capture;
    return is_live(w) ? w : nullptr;
}

void clear_window_system() {
    auto &ws = windows();
    for (HWND w : ws.windows) delete w;
    ws.windows.clear();
    ws.dialogs.clear();
    ws.queue.clear();
    ws.focus = nullptr;
    ws.capture = nullptr;
    ws.undisplayed.reset();
    ws.quit_posted = false;
    ws.boxes_shown.clear();
}

HWND make_window(HWND__::kind k, DWORD style, DWORD exstyle, const std::u16string &text, int id, RECT rect, HWND parent) {
    auto *w = new HWND__;
    w->type = k;
    w->style = style;
    w->exstyle = exstyle;
    w->text = text;
    w->id = id;
    w->rect = rect;
    w->parent = parent;
    if (parent != nullptr && is_control(*w)) parent->children.push_back(w);
    windows().windows.push_back(w);
    if (k == HWND__::kind::message_box) windows().dialogs.push_back(w);
    // Windows make their own state; a dialog's is the dialog manager's.
    if (k != HWND__::kind::dialog) SendMessage(w, WM_CREATE, 0, 0);
    return w;
}

LRESULT copy_text(std::u16string_view text, WPARAM max, LPARAM buffer) {
    auto *out = reinterpret_cast<WCHAR *>(buffer);
    if (out == nullptr || max == 0) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(max) - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out);
    out[n] = 0;
    return static_cast<LRESULT>(n);
}

// The text messages of windows whose text is plain: true when `msg` was one of them.
bool plain_text_message(HWND w, UINT msg, WPARAM wp, LPARAM lp, LRESULT &result) {
    switch (msg) {
    case WM_SETTEXT:
        w->text = lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"";
        result = TRUE;
        return true;
    case WM_GETTEXT:
        result = copy_text(w->text, wp, lp);
        return true;
    case WM_GETTEXTLENGTH:
        result = static_cast<LRESULT>(w->text.size());
        return true;
    default:
        return false;
    }
}

}  // namespace orvane_platform

namespace {

LRESULT dispatch(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (w->type) {
    case HWND__::kind::combo:
        return orvane_platform::combo_box_proc(w, msg, wp, lp);
    case HWND__::kind::edit:
        return orvane_platform::edit_proc(w, msg, wp, lp);
    case HWND__::kind::statik:
    case HWND__::kind::button:
    case HWND__::kind::other:
    case HWND__::kind::listbox:
        return orvane_platform::static_proc(w, msg, wp, lp);
    case HWND__::kind::caption:
        return orvane_platform::caption_proc(w, msg, wp, lp);
    case HWND__::kind::menubar:
        return orvane_platform::soft_key_bar_proc(w, msg, wp, lp);
    case HWND__::kind::message_box:
        return orvane_platform::message_box_proc(w, msg, wp, lp);
    case HWND__::kind::dialog:
        return orvane_platform::dialog_proc(w, msg, wp, lp);
    }
    return 0;
}

}  // namespace

LRESULT SendMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!orvane_platform::is_live(w)) return 0;
    return dispatch(w, msg, wp, lp);
}

BOOL PostMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (w != nullptr && !orvane_platform::is_live(w)) return FALSE;
    windows().queue.push_back(MSG{w, msg, wp, lp, 0, {0, 0}});
    return TRUE;
}

void PostQuitMessage(int code) {
    windows().quit_posted = true;
    windows().quit_code = code;
}

namespace orvane_platform {

bool pump_messages() {
    auto &ws = windows();
    while (!ws.queue.empty()) {
        MSG m = ws.queue.front();
        ws.queue.pop_front();
        if (m.message == WM_QUIT) {
            ws.quit_posted = false;
            return false;
        }
        DispatchMessage(&m);
    }
    if (ws.quit_posted) {
        ws.quit_posted = false;
        return false;
    }
    return true;
}

}  // namespace orvane_platform

LRESULT DispatchMessage(const MSG *msg) { return msg->hwnd != nullptr ? SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0; }

BOOL IsWindow(HWND w) { return orvane_platform::is_live(w) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND w) {
    if (!orvane_platform::is_live(w)) return FALSE;
    while (!w->children.empty()) DestroyWindow(w->children.back());
    if (w->menu_bar != nullptr) DestroyWindow(w->menu_bar);
    if (w->caption != nullptr) DestroyWindow(w->caption);
    auto &ws = windows();
    if (w->parent != nullptr) {
        auto &siblings = w->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
        if (w->parent->menu_bar == w) w->parent->menu_bar = nullptr;
        if (w->parent->caption == w) w->parent->caption = nullptr;
    }
    if (ws.focus == w) ws.focus = nullptr;
    if (ws.capture == w) ws.capture = nullptr;
    ws.dialogs.erase(std::remove(ws.dialogs.begin(), ws.dialogs.end(), w), ws.dialogs.end());
    ws.windows.erase(std::remove(ws.windows.begin(), ws.windows.end(), w), ws.windows.end());
    std::erase_if(ws.queue, [w](const MSG &m) { return m.hwnd == w; });
    if (w->menu != nullptr) DestroyMenu(w->menu);
    delete w;
    return TRUE;
}

int GetDlgCtrlID(HWND w) { return orvane_platform::is_live(w) ? w->id : 0; }

BOOL SetWindowText(HWND w, LPCWSTR text) { return SendMessage(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0; }

int GetWindowText(HWND w, LPWSTR buffer, int max) {
    if (max <= 0) return 0;
    return static_cast<int>(SendMessage(w, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND w) { return static_cast<int>(SendMessage(w, WM_GETTEXTLENGTH, 0, 0)); }


BOOL GetWindowRect(HWND w, LPRECT rect) {
    if (!orvane_platform::is_live(w) || rect == nullptr) return FALSE;
    *rect = orvane_platform::window_rect_on_screen(w);
    return TRUE;
}

BOOL SetWindowPos(HWND w, HWND, int x, int y, int cx, int cy, UINT flags) {
    if (!orvane_platform::is_live(w) || cx < 0 || cy < 0) return FALSE;
    RECT r = w->rect;
    if ((flags & SWP_NOMOVE) == 0) {
        r.right += x - r.left;
        r.bottom += y - r.top;
        r.left = x;
        r.top = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        r.right = r.left + cx;
        r.bottom = r.top + cy;
    }
    w->rect = r;
    return TRUE;
}

HWND SetFocus(HWND w) {
    auto &ws = windows();
    HWND old = ws.focus;
    if (w != nullptr && !orvane_platform::is_live(w)) return nullptr;
    if (old == w) return old;
    ws.focus = w;
    if (old != nullptr) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(w), 0);
    if (w != nullptr) SendMessage(w, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return windows().focus; }

int GetSystemMetrics(int index) {
    const auto &m = orvane_platform::current_surface().metrics();
    if (index == SM_CXSCREEN) return m.width * m.unit_x;
    if (index == SM_CYSCREEN) return m.height * m.unit_y;
    return 0;
}

struct HDWP__ {
    struct move {
        HWND w;
        int x, y, cx, cy;
        UINT flags;
    };
    std::vector<move> moves;
};

HDWP BeginDeferWindowPos(int count) {
    if (count < 0) return nullptr;
    auto *b = new HDWP__;
    b->moves.reserve(static_cast<std::size_t>(count));
    return b;
}

HDWP DeferWindowPos(HDWP batch, HWND w, HWND, int x, int y, int cx, int cy, UINT flags) {
    if (batch == nullptr || !orvane_platform::is_live(w) || cx < 0 || cy < 0) return nullptr;
    batch->moves.push_back({w, x, y, cx, cy, flags});
    return batch;
}

BOOL EndDeferWindowPos(HDWP batch) {
    if (batch == nullptr) return FALSE;
    BOOL ok = TRUE;
    for (const auto &m : batch->moves) {
        if (!SetWindowPos(m.w, nullptr, m.x, m.y, m.cx, m.cy, m.flags)) ok = FALSE;
    }
    delete batch;
    return ok;
}

