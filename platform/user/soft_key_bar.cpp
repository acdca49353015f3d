// The soft-key bar: the menu bar of the device shell at the bottom of the screen, its two
// keys in its two halves, pressed with F1 and F2 or a click.
#include <aygshell.h>

#include <algorithm>

#include "../common/utf.h"
#include "controls.h"

namespace orvane_platform {
namespace {

// The terminal names the key under each label ("F1 Create ... Exit F2") as a handheld's keys
// sit under theirs.
void paint_key_names(device_context &dc, const std::vector<HMENU__::item> &items) {
    const surface_metrics &m = dc.metrics();
    int half = m.width / 2;
    int y = (m.bar - m.line) / 2;
    int cw = m.char_w;
    if (!items.empty()) {
        int room = std::max(0, half - 2 * cw);
        int used = dc.text(cw, y, RECT{cw, 0, cw + std::min(room, 3 * cw), m.bar}, U"F1 ", role::bar_key, false);
        dc.text(cw + used, y, RECT{cw + used, 0, cw + room, m.bar}, to_utf32(items[0].text), role::bar_label, true);
    }
    if (items.size() > 1) {
        std::u32string right = to_utf32(items[1].text);
        int width = std::max(0, std::min(dc.text_width(right) + 3 * cw, m.width - half - 2 * cw));
        int at = m.width - cw - width;
        int used = dc.text(at, y, RECT{at, 0, at + std::max(0, width - 3 * cw), m.bar}, right, role::bar_label, true);
        dc.text(at + used, y, RECT{at + used, 0, at + width, m.bar}, U" F2", role::bar_key, false);
    }
}

void paint(device_context &dc, HWND bar) {
    const surface_metrics &m = dc.metrics();
    if (m.height <= m.bar) return;  // no room below the title bar
    dc.fill(dc.box(), role::bar);
    if (bar->menu == nullptr) return;
    const std::vector<HMENU__::item> &items = bar->menu->items;
    if (m.key_names) {
        paint_key_names(dc, items);
        return;
    }
    int half = m.width / 2;
    int y = (m.bar - m.line) / 2;
    for (std::size_t i = 0; i < items.size() && i < 2; ++i) {
        RECT room{i == 0 ? 0 : half, 0, i == 0 ? half : m.width, m.bar};
        std::u32string label = to_utf32(items[i].text);
        int x = static_cast<int>(room.left) + std::max(0, (static_cast<int>(room.right - room.left) - dc.text_width(label)) / 2);
        dc.text(x, y, room, label, role::bar_label, true);
    }
    if (!items.empty()) dc.fill(RECT{half, m.bar / 4, half + 1, m.bar - m.bar / 4}, role::bar_key);
}

}  // namespace

RECT soft_key_bar_rect() {
    const surface_metrics &m = current_surface().metrics();
    return RECT{0, (m.height - m.bar) * m.unit_y, m.width * m.unit_x, m.height * m.unit_y};
}

void soft_key(HWND dialog, std::size_t which) {
    HWND bar = dialog->menu_bar;
    if (bar == nullptr || bar->menu == nullptr || bar->menu->items.size() <= which) return;
    send_command(dialog, bar->menu->items[which].id);
}

LRESULT soft_key_bar_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paint(*reinterpret_cast<device_context *>(wp), w);
        return 0;
    case WM_LBUTTONDOWN:
        soft_key(w->parent, point_of(lp).x < current_surface().metrics().width / 2 ? 0 : 1);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case wm_screen_changed:
        w->rect = soft_key_bar_rect();
        return 0;
    default:
        return 0;
    }
}

}  // namespace orvane_platform

BOOL SHCreateMenuBar(SHMENUBARINFO *info) {
    if (info == nullptr || info->cbSize != sizeof(SHMENUBARINFO) || !orvane_platform::is_live(info->hwndParent)) {
        return FALSE;
    }
    if ((info->dwFlags & SHCMBF_HMENU) == 0) return FALSE;  // only menus passed by handle
    auto *menu = reinterpret_cast<HMENU>(info->nToolBarId);
    if (menu == nullptr) return FALSE;
    HWND parent = info->hwndParent;
    if (parent->menu_bar != nullptr) DestroyWindow(parent->menu_bar);
    HWND bar = orvane_platform::make_window(HWND__::kind::menubar, 0, 0, u"", -1, orvane_platform::soft_key_bar_rect(), parent);
    bar->menu = menu;  // the bar owns the menu from now on
    parent->menu_bar = bar;
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHInitExtraControls() { return TRUE; }
BOOL SHSipPreference(HWND, int) { return TRUE; }
BOOL SHDoneButton(HWND, DWORD) { return TRUE; }
