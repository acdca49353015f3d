// The dialog manager: dialogs built from templates, their items, the modal loop, the
// keys a dialog itself takes (Tab, Shift+Tab, Esc) and the screen's size.
#include <algorithm>

#include "../common/mul_div.h"
#include "controls.h"
#include "dialog_template.h"

using orvane_platform::is_live;
using orvane_platform::make_window;
using orvane_platform::windows;

namespace {

void focus_first_tab_stop(HWND dialog) {
    for (HWND c : dialog->children) {
        if ((c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0) {
            SetFocus(c);
            return;
        }
    }
}

// The screen area a dialog fills: all of it but the title bar and the soft-key bar.
RECT dialog_area() {
    const auto &m = orvane_platform::current_surface().metrics();
    int bar = m.bar * m.unit_y;
    return RECT{0, bar, m.width * m.unit_x, std::max(m.height * m.unit_y - bar, bar)};
}

HWND build_dialog(const void *bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM init) {
    std::optional<orvane_platform::dialog_template> t = orvane_platform::parse_dialog_template(bytes, size);
    if (!t) return nullptr;
    HWND dlg = make_window(HWND__::kind::dialog, t->style, t->exstyle, t->caption, 0, dialog_area(), parent);
    dlg->proc = proc;
    windows().dialogs.push_back(dlg);
    orvane_platform::make_caption(dlg);
    for (const orvane_platform::dialog_template_item &item : t->items) {
        HWND__::kind k = HWND__::kind::other;
        switch (item.class_ordinal) {
        case 0x80: k = HWND__::kind::button; break;
        case 0x81: k = HWND__::kind::edit; break;
        case 0x82: k = HWND__::kind::statik; break;
        case 0x83: k = HWND__::kind::listbox; break;
        case 0x85: k = HWND__::kind::combo; break;
        default: break;
        }
        RECT rc = item.rect;
        MapDialogRect(dlg, &rc);
        make_window(k, item.style, item.exstyle, item.title, item.id, rc, dlg);
    }
    if (SendMessage(dlg, WM_INITDIALOG, 0, init) != 0) focus_first_tab_stop(dlg);
    if (is_live(dlg)) {
        SendMessage(dlg, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(dlg->rect.right - dlg->rect.left, dlg->rect.bottom - dlg->rect.top));
    }
    return dlg;
}

}  // namespace

namespace orvane_platform {

namespace {

std::vector<HWND> tab_stops(HWND dialog) {
    std::vector<HWND> out;
    for (HWND c : dialog->children) {
        if ((c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0) out.push_back(c);
    }
    return out;
}

void move_focus(HWND dialog, bool forward) {
    auto stops = tab_stops(dialog);
    if (stops.empty()) return;
    auto it = std::find(stops.begin(), stops.end(), windows().focus);
    std::ptrdiff_t i = it == stops.end() ? -1 : it - stops.begin();
    auto n = static_cast<std::ptrdiff_t>(stops.size());
    i = forward ? (i + 1) % n : (i <= 0 ? n - 1 : i - 1);
    SetFocus(stops[static_cast<std::size_t>(i)]);
}

}  // namespace

void send_command(HWND dialog, UINT_PTR id) {
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

bool dialog_key(HWND dialog, const input_event &e) {
    if (e.type != input_event::kind::key) return false;
    if (e.k == key::tab || e.k == key::backtab) {
        move_focus(dialog, e.k == key::tab);
        return true;
    }
    if (e.k == key::escape) {
        send_command(dialog, IDCANCEL);
        return true;
    }
    return false;
}

LRESULT dialog_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        // The background under the controls, between the bars; a later dialog covers an earlier one.
        auto &dc = *reinterpret_cast<device_context *>(wp);
        const surface_metrics &m = dc.metrics();
        dc.fill(RECT{0, m.bar, m.width, m.height - m.bar}, role::window);
        return 0;
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

}  // namespace orvane_platform

HWND GetDlgItem(HWND dialog, int id) {
    if (!orvane_platform::is_live(dialog)) return nullptr;
    for (HWND c : dialog->children) {
        if (c->id == id) return c;
    }
    return nullptr;
}

BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text) {
    HWND c = GetDlgItem(dialog, id);
    return c != nullptr ? SetWindowText(c, text) : FALSE;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wp, LPARAM lp) {
    HWND c = GetDlgItem(dialog, id);
    return c != nullptr ? SendMessage(c, msg, wp, lp) : 0;
}


BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!orvane_platform::is_live(dialog) ||
        (dialog->type != HWND__::kind::dialog && dialog->type != HWND__::kind::message_box)) {
        return FALSE;
    }
    dialog->ended = true;
    dialog->result = result;
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (!orvane_platform::is_live(dialog) || dialog->type != HWND__::kind::dialog || rect == nullptr) return FALSE;
    // A dialog unit is a quarter of the base width and an eighth of the base height.
    const auto &m = orvane_platform::current_surface().metrics();
    rect->left = orvane_platform::mul_div(rect->left, m.base_x, 4);
    rect->right = orvane_platform::mul_div(rect->right, m.base_x, 4);
    rect->top = orvane_platform::mul_div(rect->top, m.base_y, 8);
    rect->bottom = orvane_platform::mul_div(rect->bottom, m.base_y, 8);
    return TRUE;
}

namespace orvane_platform {

HWND create_dialog_from_bytes(const void *bytes, std::size_t size, HWND parent, DLGPROC proc, LPARAM init) {
    return build_dialog(bytes, size, parent, proc, init);
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

namespace orvane_platform {

void screen_resized(int width, int height) {
    auto &ws = windows();
    current_surface().set_size(std::max(width, 1), std::max(height, 1));
    std::vector<HWND> dialogs = ws.dialogs;
    for (HWND d : dialogs) {
        if (!is_live(d)) continue;
        if (d->type != HWND__::kind::dialog) {
            SendMessage(d, wm_screen_changed, 0, 0);
            continue;
        }
        d->rect = dialog_area();
        SendMessage(d->caption, wm_screen_changed, 0, 0);
        SendMessage(d->menu_bar, wm_screen_changed, 0, 0);
        SendMessage(d, WM_SIZE, SIZE_RESTORED, MAKELPARAM(d->rect.right - d->rect.left, d->rect.bottom - d->rect.top));
        if (!is_live(d)) continue;
        for (HWND c : d->children) SendMessage(c, wm_screen_changed, 0, 0);
    }
}

}  // namespace orvane_platform

