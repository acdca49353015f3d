// Windows, the message queue, controls and the dialog manager.
#include <algorithm>
#include <cstring>
#include <cwctype>

#include "window_system.h"

using orvane_platform::windows;

namespace orvane_platform {

window_system &windows() {
    static window_system ws;
    return ws;
}

bool is_live(HWND w) {
    if (w == nullptr) return false;
    auto &ws = windows();
    if (w == ws.last_live) return true;
    if (ws.live.count(w) == 0) return false;
    ws.last_live = w;
    return true;
}

bool is_drop_list(HWND w) { return w->type == HWND__::kind::combo && (w->style & 3u) == CBS_DROPDOWNLIST; }
bool is_drop_down_edit(HWND w) { return w->type == HWND__::kind::combo && (w->style & 3u) != CBS_DROPDOWNLIST; }

RECT window_rect_on_screen(HWND w) {
    RECT r = w->rect;
    for (HWND p = w->parent; p != nullptr; p = p->parent) {
        r.left += p->rect.left;
        r.right += p->rect.left;
        r.top += p->rect.top;
        r.bottom += p->rect.top;
    }
    return r;
}

void clear_window_system() {
    auto &ws = windows();
    for (HWND w : ws.windows) delete w;
    ws.windows.clear();
    ws.live.clear();
    ws.last_live = nullptr;
    ws.dialogs.clear();
    ws.queue.clear();
    ws.focus = nullptr;
    ws.quit_posted = false;
    ws.boxes_shown.clear();
}

}  // namespace orvane_platform

using orvane_platform::is_drop_down_edit;
using orvane_platform::is_drop_list;
using orvane_platform::is_live;

namespace {

std::u16string lower(std::u16string_view s) {
    std::u16string out(s);
    for (auto &c : out) {
        if (c < 0xD800 || c > 0xDFFF) c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return out;
}

// The platform's case-insensitive order of combo-box entries.
int compare_nocase(std::u16string_view a, std::u16string_view b) {
    std::u16string la = lower(a);
    std::u16string lb = lower(b);
    if (la < lb) return -1;
    if (lb < la) return 1;
    return 0;
}

bool starts_with_nocase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size()) return false;
    return lower(text.substr(0, prefix.size())) == lower(prefix);
}

HWND make_window(HWND__::kind k, const std::u16string &cls, DWORD style, DWORD exstyle, const std::u16string &text,
                 int id, RECT rect, HWND parent) {
    auto *w = new HWND__;
    w->type = k;
    w->class_name = cls;
    w->style = style;
    w->exstyle = exstyle;
    w->text = text;
    w->id = id;
    w->rect = rect;
    w->parent = parent;
    if (parent != nullptr) parent->children.push_back(w);
    windows().windows.push_back(w);
    windows().live.insert(w);
    if (k == HWND__::kind::edit) w->caret = w->text.size();
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

void set_combo_selection(HWND w, int index) {
    w->selected = index;
    w->highlighted = index;
    if (is_drop_down_edit(w)) {
        w->text = index >= 0 ? std::u16string(w->entry_text(static_cast<std::size_t>(index))) : std::u16string();
        w->caret = w->text.size();
        w->scroll = 0;
    }
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

// Once the texts of deleted entries fill half the buffer, the live ones are moved together.
void compact_entry_texts(HWND w) {
    if (w->dead_units * 2 <= w->entry_texts.size()) return;
    std::u16string kept;
    kept.reserve(w->entry_texts.size() - w->dead_units);
    for (auto &e : w->entries) {
        std::size_t offset = kept.size();
        kept.append(w->entry_texts, e.offset, e.length);
        e.offset = offset;
    }
    w->entry_texts = std::move(kept);
    w->dead_units = 0;
}

LRESULT combo_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto count = static_cast<int>(w->entries.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        if (lp == 0) return CB_ERR;
        std::u16string_view s(reinterpret_cast<LPCWSTR>(lp));
        int at = count;
        if (msg == CB_INSERTSTRING) {
            int want = static_cast<int>(wp);
            at = want < 0 || want > count ? count : want;
        } else if ((w->style & CBS_SORT) != 0) {
            // After entries that compare equal, so equal names keep their order of arrival.
            auto pos = std::upper_bound(w->entries.begin(), w->entries.end(), s, [w](std::u16string_view v, const auto &e) {
                return compare_nocase(v, std::u16string_view(w->entry_texts).substr(e.offset, e.length)) < 0;
            });
            at = static_cast<int>(pos - w->entries.begin());
        }
        HWND__::entry e{w->entry_texts.size(), s.size(), 0};
        w->entry_texts += s;
        if (at == count) {
            w->entries.push_back(e);
        } else {
            w->entries.insert(w->entries.begin() + at, e);
        }
        if (w->selected >= at) ++w->selected;
        if (w->highlighted >= at) ++w->highlighted;
        return at;
    }
    case CB_DELETESTRING:
        if (!valid(wp)) return CB_ERR;
        w->dead_units += w->entries[wp].length;
        w->entries.erase(w->entries.begin() + static_cast<std::ptrdiff_t>(wp));
        compact_entry_texts(w);
        if (w->selected == static_cast<int>(wp)) {
            w->selected = -1;
        } else if (w->selected > static_cast<int>(wp)) {
            --w->selected;
        }
        w->highlighted = w->selected;
        return static_cast<LRESULT>(w->entries.size());
    case CB_RESETCONTENT:
        w->entries.clear();
        w->entry_texts.clear();
        w->dead_units = 0;
        w->selected = w->highlighted = -1;
        return 0;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return w->selected;
    case CB_SETCURSEL:
        if (static_cast<int>(wp) == -1) {
            set_combo_selection(w, -1);
            return CB_ERR;
        }
        if (!valid(wp)) {
            set_combo_selection(w, -1);
            return CB_ERR;
        }
        set_combo_selection(w, static_cast<int>(wp));
        return w->selected;
    case CB_GETLBTEXT:
        if (!valid(wp) || lp == 0) return CB_ERR;
        {
            std::u16string_view t = w->entry_text(wp);
            auto *out = reinterpret_cast<WCHAR *>(lp);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return static_cast<LRESULT>(t.size());
        }
    case CB_GETLBTEXTLEN:
        if (!valid(wp)) return CB_ERR;
        return static_cast<LRESULT>(w->entries[wp].length);
    case CB_GETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        return w->entries[wp].data;
    case CB_SETITEMDATA:
        if (!valid(wp)) return CB_ERR;
        w->entries[wp].data = lp;
        return 0;
    case CB_FINDSTRING:
    case CB_SELECTSTRING: {
        if (lp == 0 || count == 0) return CB_ERR;
        std::u16string_view prefix(reinterpret_cast<LPCWSTR>(lp));
        // From the entry after `start` to the end, then from the first entry to `start` itself.
        int start = static_cast<int>(wp);
        if (start < -1 || start >= count) start = -1;
        for (int k = 1; k <= count; ++k) {
            int i = (start + k) % count;
            if (starts_with_nocase(w->entry_text(static_cast<std::size_t>(i)), prefix)) {
                if (msg == CB_SELECTSTRING) set_combo_selection(w, i);
                return i;
            }
        }
        return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
        w->dropped = wp != 0;
        w->highlighted = w->selected;
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return w->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        w->limit = wp == 0 ? 0x7FFFFFFE : wp;
        return TRUE;
    case WM_GETTEXT:
        if (is_drop_list(w)) {
            return copy_text(w->selected >= 0 ? w->entry_text(static_cast<std::size_t>(w->selected)) : u"", wp, lp);
        }
        return copy_text(w->text, wp, lp);
    case WM_GETTEXTLENGTH:
        if (is_drop_list(w)) {
            return w->selected >= 0 ? static_cast<LRESULT>(w->entries[static_cast<std::size_t>(w->selected)].length) : 0;
        }
        return static_cast<LRESULT>(w->text.size());
    case WM_SETTEXT:
        if (is_drop_list(w)) {
            // A list without an edit field takes a text only when an entry has it.
            if (lp == 0) return CB_ERR;
            std::u16string_view t(reinterpret_cast<LPCWSTR>(lp));
            for (int i = 0; i < count; ++i) {
                if (compare_nocase(w->entry_text(static_cast<std::size_t>(i)), t) == 0) {
                    set_combo_selection(w, i);
                    return TRUE;
                }
            }
            return CB_ERR;
        }
        w->text = lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"";
        w->caret = w->text.size();
        w->scroll = 0;
        return TRUE;
    default:
        return 0;
    }
}

LRESULT edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case EM_LIMITTEXT:
        w->limit = wp == 0 ? 0x7FFFFFFE : wp;
        return 0;
    case EM_SETSEL:
        w->caret = std::min(w->text.size(), static_cast<std::size_t>(lp < 0 ? w->text.size() : lp));
        return 0;
    case WM_SETTEXT:
        // The typing limit does not apply to text set by program.
        w->caret = std::u16string_view(lp != 0 ? reinterpret_cast<LPCWSTR>(lp) : u"").size();
        w->scroll = 0;
        [[fallthrough]];
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}

LRESULT static_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case STM_SETIMAGE: {
        HANDLE old = w->image;
        (void)wp;
        w->image = reinterpret_cast<HANDLE>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
        return reinterpret_cast<LRESULT>(w->image);
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}

void focus_first_tab_stop(HWND dialog) {
    for (HWND c : dialog->children) {
        if ((c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0) {
            SetFocus(c);
            return;
        }
    }
}

// The screen area a dialog fills: all rows but the title bar and the soft-key bar.
RECT dialog_area() {
    auto &ws = windows();
    return RECT{0, orvane_platform::cell_height, ws.columns * orvane_platform::cell_width,
                std::max(ws.rows - 1, 1) * orvane_platform::cell_height};
}

HWND build_dialog(HINSTANCE, LPCDLGTEMPLATE tmpl, HWND parent, DLGPROC proc, LPARAM init, std::size_t size) {
    if (tmpl == nullptr) return nullptr;
    const auto *base = reinterpret_cast<const BYTE *>(tmpl);
    orvane_platform::le_reader r(base, base + size);
    DWORD style = r.dword();
    DWORD exstyle = r.dword();
    WORD count = r.word();
    r.word();
    r.word();
    r.word();
    r.word();
    std::u16string ignored;
    r.sz_or_ord(ignored);  // menu
    r.sz_or_ord(ignored);  // class
    std::u16string caption;
    r.sz_or_ord(caption);
    if ((style & DS_SETFONT) != 0) {
        r.word();
        r.sz_or_ord(ignored);  // font name
    }
    if (!r.ok) return nullptr;
    HWND dlg = make_window(HWND__::kind::dialog, u"#32770", style, exstyle, caption, 0, dialog_area(), parent);
    dlg->proc = proc;
    windows().dialogs.push_back(dlg);
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.align4();
        DWORD istyle = r.dword();
        DWORD iexstyle = r.dword();
        auto x = static_cast<short>(r.word());
        auto y = static_cast<short>(r.word());
        auto cx = static_cast<short>(r.word());
        auto cy = static_cast<short>(r.word());
        WORD id = r.word();
        std::u16string cls;
        WORD cls_ord = r.sz_or_ord(cls);
        std::u16string title;
        WORD title_ord = r.sz_or_ord(title);
        WORD extra = r.word();
        if (extra > 2) {
            if (static_cast<std::size_t>(r.end - r.p) < static_cast<std::size_t>(extra - 2)) {
                r.ok = false;
                break;
            }
            r.p += extra - 2;
        }
        if (!r.ok) break;
        HWND__::kind k = HWND__::kind::other;
        switch (cls_ord) {
        case 0x80: k = HWND__::kind::button; cls = u"Button"; break;
        case 0x81: k = HWND__::kind::edit; cls = u"Edit"; break;
        case 0x82: k = HWND__::kind::statik; cls = u"Static"; break;
        case 0x83: k = HWND__::kind::listbox; cls = u"ListBox"; break;
        case 0x84: cls = u"ScrollBar"; break;
        case 0x85: k = HWND__::kind::combo; cls = u"ComboBox"; break;
        default: break;
        }
        RECT rc{x, y, x + cx, y + cy};
        MapDialogRect(dlg, &rc);
        make_window(k, cls, istyle, iexstyle, title_ord != 0 ? std::u16string() : title, id, rc, dlg);
    }
    if (!r.ok) {
        DestroyWindow(dlg);
        return nullptr;
    }
    if (SendMessage(dlg, WM_INITDIALOG, 0, init) != 0) focus_first_tab_stop(dlg);
    if (is_live(dlg)) {
        SendMessage(dlg, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(dlg->rect.right - dlg->rect.left, dlg->rect.bottom - dlg->rect.top));
    }
    return dlg;
}

}  // namespace

LRESULT SendMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!orvane_platform::is_live(w)) return 0;
    switch (w->type) {
    case HWND__::kind::combo:
        return combo_proc(w, msg, wp, lp);
    case HWND__::kind::edit:
        return edit_proc(w, msg, wp, lp);
    case HWND__::kind::statik:
    case HWND__::kind::button:
    case HWND__::kind::other:
    case HWND__::kind::listbox:
    case HWND__::kind::menubar:
        return static_proc(w, msg, wp, lp);
    case HWND__::kind::dialog:
        break;
    }
    if (msg == WM_SETICON) {
        std::size_t which = wp == ICON_BIG ? 1 : 0;
        HICON old = w->icons[which];
        w->icons[which] = reinterpret_cast<HICON>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    INT_PTR handled = w->proc != nullptr ? w->proc(w, msg, wp, lp) : 0;
    if (handled != 0) return handled;
    LRESULT result = 0;
    plain_text_message(w, msg, wp, lp, result);
    return result;
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

BOOL GetMessage(LPMSG msg, HWND, UINT, UINT) {
    auto &ws = windows();
    if (ws.queue.empty()) return FALSE;
    *msg = ws.queue.front();
    ws.queue.pop_front();
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL IsDialogMessage(HWND, LPMSG) { return FALSE; }

LRESULT DispatchMessage(const MSG *msg) { return msg->hwnd != nullptr ? SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0; }

BOOL IsWindow(HWND w) { return orvane_platform::is_live(w) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND w) {
    if (!orvane_platform::is_live(w)) return FALSE;
    while (!w->children.empty()) DestroyWindow(w->children.back());
    if (w->menu_bar != nullptr) DestroyWindow(w->menu_bar);
    auto &ws = windows();
    if (w->parent != nullptr) {
        auto &siblings = w->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
        if (w->parent->menu_bar == w) w->parent->menu_bar = nullptr;
    }
    if (ws.focus == w) ws.focus = nullptr;
    ws.dialogs.erase(std::remove(ws.dialogs.begin(), ws.dialogs.end(), w), ws.dialogs.end());
    ws.windows.erase(std::remove(ws.windows.begin(), ws.windows.end(), w), ws.windows.end());
    ws.live.erase(w);
    if (ws.last_live == w) ws.last_live = nullptr;
    std::erase_if(ws.queue, [w](const MSG &m) { return m.hwnd == w; });
    if (w->menu != nullptr) DestroyMenu(w->menu);
    delete w;
    return TRUE;
}

HWND GetParent(HWND w) { return orvane_platform::is_live(w) ? w->parent : nullptr; }

HWND GetDlgItem(HWND dialog, int id) {
    if (!orvane_platform::is_live(dialog)) return nullptr;
    for (HWND c : dialog->children) {
        if (c->id == id) return c;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND w) { return orvane_platform::is_live(w) ? w->id : 0; }

BOOL SetWindowText(HWND w, LPCWSTR text) { return SendMessage(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0; }

int GetWindowText(HWND w, LPWSTR buffer, int max) {
    if (max <= 0) return 0;
    return static_cast<int>(SendMessage(w, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND w) { return static_cast<int>(SendMessage(w, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text) {
    HWND c = GetDlgItem(dialog, id);
    return c != nullptr ? SetWindowText(c, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPWSTR buffer, int max) {
    HWND c = GetDlgItem(dialog, id);
    if (c == nullptr) {
        if (buffer != nullptr && max > 0) buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowText(c, buffer, max));
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wp, LPARAM lp) {
    HWND c = GetDlgItem(dialog, id);
    return c != nullptr ? SendMessage(c, msg, wp, lp) : 0;
}

LONG GetWindowLong(HWND w, int index) {
    if (!orvane_platform::is_live(w)) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exstyle);
    case GWL_ID: return w->id;
    default: return 0;
    }
}

BOOL GetWindowRect(HWND w, LPRECT rect) {
    if (!orvane_platform::is_live(w) || rect == nullptr) return FALSE;
    *rect = orvane_platform::window_rect_on_screen(w);
    return TRUE;
}

BOOL GetClientRect(HWND w, LPRECT rect) {
    if (!orvane_platform::is_live(w) || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL MoveWindow(HWND w, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(w, nullptr, x, y, width, height, SWP_NOZORDER);
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
    if (old != nullptr && old != w && old->type == HWND__::kind::combo) old->dropped = false;
    ws.focus = w;
    return old;
}

HWND GetFocus() { return windows().focus; }

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!orvane_platform::is_live(dialog) || dialog->type != HWND__::kind::dialog) return FALSE;
    dialog->ended = true;
    dialog->result = result;
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (!orvane_platform::is_live(dialog) || dialog->type != HWND__::kind::dialog || rect == nullptr) return FALSE;
    // Dialog base units 4 x 8: one dialog unit is one pixel on both axes.
    rect->left = rect->left * 4 / 4;
    rect->right = rect->right * 4 / 4;
    rect->top = rect->top * 8 / 8;
    rect->bottom = rect->bottom * 8 / 8;
    return TRUE;
}

int GetSystemMetrics(int index) {
    auto &ws = windows();
    if (index == SM_CXSCREEN) return ws.columns * orvane_platform::cell_width;
    if (index == SM_CYSCREEN) return ws.rows * orvane_platform::cell_height;
    return 0;
}

namespace orvane_platform {
std::size_t resource_bytes_from(const void *p);
}

HWND CreateDialogIndirectParam(HINSTANCE inst, LPCDLGTEMPLATE tmpl, HWND parent, DLGPROC proc, LPARAM init) {
    // The template's size is not passed: one from the resources is read within its resource.
    std::size_t size = orvane_platform::resource_bytes_from(tmpl);
    return build_dialog(inst, tmpl, parent, proc, init, size != 0 ? size : 0x10000);
}

namespace orvane_platform {

HWND create_dialog_from_bytes(const void *bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM init) {
    return build_dialog(nullptr, static_cast<LPCDLGTEMPLATE>(bytes), parent, proc, init, size);
}

}  // namespace orvane_platform

namespace orvane_platform {

INT_PTR run_modal(HWND dlg) {
    INT_PTR result = IDCANCEL;
    for (;;) {
        if (!orvane_platform::pump_messages()) {
            // WM_QUIT ends the modal loop; it stays posted for any outer loop.
            PostQuitMessage(windows().quit_code);
            break;
        }
        if (!orvane_platform::is_live(dlg)) break;
        if (dlg->ended) {
            result = dlg->result;
            break;
        }
        orvane_platform::refresh_display();
        orvane_platform::display *d = orvane_platform::current_display();
        if (d == nullptr) break;
        if (!orvane_platform::handle_input(d->wait_event())) break;
    }
    if (orvane_platform::is_live(dlg)) DestroyWindow(dlg);
    return result;
}

}  // namespace orvane_platform

INT_PTR DialogBoxIndirectParam(HINSTANCE inst, LPCDLGTEMPLATE tmpl, HWND parent, DLGPROC proc, LPARAM init) {
    HWND dlg = CreateDialogIndirectParam(inst, tmpl, parent, proc, init);
    if (dlg == nullptr) return -1;
    return orvane_platform::run_modal(dlg);
}

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

namespace orvane_platform {

void screen_resized(int columns, int rows) {
    auto &ws = windows();
    ws.columns = std::max(columns, 1);
    ws.rows = std::max(rows, 1);
    std::vector<HWND> dialogs = ws.dialogs;
    for (HWND d : dialogs) {
        if (!is_live(d)) continue;
        d->rect = dialog_area();
        SendMessage(d, WM_SIZE, SIZE_RESTORED, MAKELPARAM(d->rect.right - d->rect.left, d->rect.bottom - d->rect.top));
    }
}

}  // namespace orvane_platform
