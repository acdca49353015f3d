// The soft-key bar: the menu bar of the device shell, drawn at the bottom of the screen.
#include <aygshell.h>

#include "window_system.h"

BOOL SHCreateMenuBar(SHMENUBARINFO *info) {
    if (info == nullptr || info->cbSize != sizeof(SHMENUBARINFO) || !orvane_platform::is_live(info->hwndParent)) {
        return FALSE;
    }
    if ((info->dwFlags & SHCMBF_HMENU) == 0) return FALSE;  // only menus passed by handle
    auto *menu = reinterpret_cast<HMENU>(info->nToolBarId);
    if (menu == nullptr) return FALSE;
    HWND parent = info->hwndParent;
    if (parent->menu_bar != nullptr) DestroyWindow(parent->menu_bar);
    auto *bar = new HWND__;
    bar->type = HWND__::kind::menubar;
    bar->class_name = u"menu_worker";
    bar->menu = menu;  // the bar owns the menu from now on
    bar->id = -1;
    bar->parent = parent;  // not a child control: it is drawn as the soft-key bar
    orvane_platform::windows().windows.push_back(bar);
    parent->menu_bar = bar;
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHInitExtraControls() { return TRUE; }
BOOL SHSipPreference(HWND, int) { return TRUE; }
BOOL SHDoneButton(HWND, DWORD) { return TRUE; }

namespace orvane_platform {

void soft_key(HWND dialog, std::size_t which) {
    HWND bar = dialog->menu_bar;
    if (bar == nullptr || bar->menu == nullptr || bar->menu->items.size() <= which) return;
    send_command(dialog, bar->menu->items[which].id);
}

}  // namespace orvane_platform
