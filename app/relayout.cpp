#include "relayout.h"

namespace orvane_cr {
namespace {

constexpr WORD unidentified = 0xFFFF;

// A forward cursor over the template; every read stays inside it.
struct cursor {
    const BYTE *begin;
    const BYTE *p;
    const BYTE *end;
    bool ok = true;

    bool need(std::size_t n) {
        if (!ok || static_cast<std::size_t>(end - p) < n) ok = false;
        return ok;
    }
    WORD word() {
        if (!need(2)) return 0;
        auto v = static_cast<WORD>(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    DWORD dword() {
        DWORD lo = word();
        return lo | (static_cast<DWORD>(word()) << 16);
    }
    void skip_sz() {
        while (ok && word() != 0) {
        }
    }
    // An ordinal or a string; returns the ordinal, or 0 for a string, and where the string starts.
    WORD sz_or_ord(const WCHAR **text) {
        *text = nullptr;
        const BYTE *start = p;
        WORD first = word();
        if (!ok) return 0;
        if (first == 0xFFFF) return word();
        *text = reinterpret_cast<const WCHAR *>(start);
        if (first != 0) skip_sz();
        return 0;
    }
    void align4() {
        auto off = static_cast<std::size_t>(p - begin);
        std::size_t pad = (4 - off % 4) % 4;
        if (need(pad)) p += pad;
    }
};

void fix_up(HINSTANCE module, HWND control, DWORD style, WORD class_ordinal, WORD title_ordinal, const WCHAR *title) {
    switch (class_ordinal) {
    case 0x80:
    case 0x82:
        if (title != nullptr) {
            SetWindowText(control, title);
        } else if ((style & 3u) == 3u) {
            HICON icon = LoadIcon(module, MAKEINTRESOURCE(title_ordinal));
            if (icon != nullptr) {
                auto old = reinterpret_cast<HICON>(SendMessage(control, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
                if (old != nullptr) DestroyIcon(old);
            }
        } else if ((style & 0xEu) == 0xEu) {
            HBITMAP bitmap = LoadBitmap(module, MAKEINTRESOURCE(title_ordinal));
            if (bitmap != nullptr) {
                auto old = reinterpret_cast<HGDIOBJ>(
                    SendMessage(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
                if (old != nullptr) DeleteObject(old);
            }
        }
        break;
    case 0x83: {
        LRESULT sel = SendMessage(control, LB_GETCURSEL, 0, 0);
        if (sel != LB_ERR) SendMessage(control, LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
        break;
    }
    case 0x85: {
        LRESULT sel = SendMessage(control, CB_GETCURSEL, 0, 0);
        if (sel != CB_ERR) SendMessage(control, CB_SETCURSEL, static_cast<WPARAM>(sel), 0);
        break;
    }
    default:
        break;
    }
}

}  // namespace

bool relayout_dialog_from(const BYTE *bytes, DWORD size, HINSTANCE module, HWND dialog) {
    if (bytes == nullptr) return false;
    cursor c{bytes, bytes, bytes + size};
    DWORD style = c.dword();
    c.dword();  // extended style
    WORD count = c.word();
    for (int i = 0; i < 4; ++i) c.word();
    const WCHAR *text = nullptr;
    c.sz_or_ord(&text);  // menu
    c.sz_or_ord(&text);  // class
    c.sz_or_ord(&text);  // caption
    if ((style & DS_SETFONT) != 0) {
        c.word();
        c.skip_sz();
    }
    if (!c.ok) return false;
    HDWP batch = BeginDeferWindowPos(count);
    if (batch == nullptr) return false;
    bool success = true;
    int unidentified_items = 0;
    for (WORD i = 0; i < count; ++i) {
        c.align4();
        DWORD item_style = c.dword();
        c.dword();  // extended style
        auto x = static_cast<short>(c.word());
        auto y = static_cast<short>(c.word());
        auto cx = static_cast<short>(c.word());
        auto cy = static_cast<short>(c.word());
        WORD id = c.word();
        if (!c.ok) {
            // A template that ends inside its items cannot place the rest.
            success = false;
            break;
        }
        HWND control = GetDlgItem(dialog, id);
        bool placed = false;
        if (control == nullptr) {
            success = false;
        } else {
            RECT r{x, y, x + cx, y + cy};
            if (!MapDialogRect(dialog, &r)) {
                success = false;
            } else {
                HDWP next = DeferWindowPos(batch, control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                           SWP_NOZORDER);
                if (next == nullptr) {
                    success = false;
                } else {
                    batch = next;
                }
                placed = true;
            }
        }
        const WCHAR *class_text = nullptr;
        WORD class_ordinal = c.sz_or_ord(&class_text);
        const WCHAR *title = nullptr;
        WORD title_ordinal = c.sz_or_ord(&title);
        if (placed && c.ok && class_text == nullptr) fix_up(module, control, item_style, class_ordinal, title_ordinal, title);
        WORD extra = c.word();
        if (extra > 2 && c.need(extra - 2u)) c.p += extra - 2u;
        if (!c.ok) {
            success = false;
            break;
        }
        if (id == unidentified) ++unidentified_items;
    }
    if (!EndDeferWindowPos(batch)) success = false;
    if (unidentified_items >= 2) return false;
    return success;
}

bool relayout_dialog(HINSTANCE module, HWND dialog, UINT template_id) {
    HRSRC res = FindResource(module, MAKEINTRESOURCE(template_id), RT_DIALOG);
    if (res == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, res);
    if (loaded == nullptr) return false;
    return relayout_dialog_from(static_cast<const BYTE *>(LockResource(loaded)), SizeofResource(module, res), module,
                                dialog);
}

}  // namespace orvane_cr
