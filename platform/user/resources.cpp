// The module's resources (a compiled .res image), menus, icons, bitmaps and the menu bar.
#include <aygshell.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "resource_reader.h"
#include "window_core.h"

// The program's compiled resources, linked in by its build (weak: a module may have none).
extern "C" {
extern const unsigned char orvane_module_resources[] __attribute__((weak));
extern const unsigned char orvane_module_resources_end[] __attribute__((weak));
}

struct HRSRC__ {
    const BYTE *data;
    DWORD size;
};

struct HINSTANCE__ {
    std::vector<HRSRC__> entries_storage;
    struct entry {
        std::u16string type_name;
        WORD type_id;
        std::u16string name;
        WORD name_id;
        HRSRC__ data;
    };
    std::vector<entry> entries;
};

namespace orvane_platform {
namespace {

// Reads a .res image: a sequence of resource headers, each followed by its data, 4-byte aligned.
void load_res(HINSTANCE__ &m, const BYTE *begin, const BYTE *end) {
    const BYTE *p = begin;
    while (end - p >= 32) {
        le_reader r(p, end);
        DWORD data_size = r.dword();
        DWORD header_size = r.dword();
        if (!r.ok || header_size < 16 || header_size > static_cast<DWORD>(end - p) ||
            data_size > static_cast<DWORD>(end - p) - header_size) {
            break;
        }
        HINSTANCE__::entry e{};
        e.type_id = r.sz_or_ord(e.type_name);
        e.name_id = r.sz_or_ord(e.name);
        if (!r.ok) break;
        e.data = HRSRC__{p + header_size, data_size};
        if (!(e.type_id == 0 && e.type_name.empty() && data_size == 0)) m.entries.push_back(e);
        std::size_t next = header_size + data_size;
        next = (next + 3) & ~std::size_t{3};
        if (next > static_cast<std::size_t>(end - p)) break;
        p += next;
    }
}

bool matches(const std::u16string &s, WORD id, LPCWSTR want) {
    if (IS_INTRESOURCE(want)) return id != 0 && id == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(want));
    return id == 0 && s == std::u16string_view(want);
}

}  // namespace

HINSTANCE module_instance() {
    static HINSTANCE__ module = [] {
        HINSTANCE__ m;
        // Weak symbols: null in a program linked without resources.
        const unsigned char *volatile begin = orvane_module_resources;
        const unsigned char *volatile end = orvane_module_resources_end;
        if (begin != nullptr && end != nullptr && end > begin) load_res(m, begin, end);
        return m;
    }();
    return &module;
}

}  // namespace orvane_platform

HRSRC FindResource(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (module == nullptr || name == nullptr || type == nullptr) return nullptr;
    for (auto &e : module->entries) {
        if (orvane_platform::matches(e.type_name, e.type_id, type) && orvane_platform::matches(e.name, e.name_id, name)) return &e.data;
    }
    return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC res) {
    if (module == nullptr || res == nullptr) return nullptr;
    return res->data;
}

LPVOID LockResource(HGLOBAL data) { return const_cast<void *>(data); }

DWORD SizeofResource(HMODULE module, HRSRC res) { return module != nullptr && res != nullptr ? res->size : 0; }

HMENU LoadMenu(HINSTANCE inst, LPCWSTR name) {
    HRSRC r = FindResource(inst, name, RT_MENU);
    if (r == nullptr) return nullptr;
    orvane_platform::le_reader rd(r->data, r->data + r->size);
    rd.word();  // version
    WORD header = rd.word();
    if (!rd.ok || header > r->size - 4) return nullptr;
    rd.p += header;
    auto *menu = new HMENU__;
    // Top-level items only; pop-ups are not used by this program's menus.
    while (rd.ok && rd.p < rd.end) {
        WORD flags = rd.word();
        WORD id = (flags & MF_POPUP) != 0 ? 0 : rd.word();
        std::u16string text;
        for (WORD c = rd.word(); rd.ok && c != 0; c = rd.word()) text += static_cast<char16_t>(c);
        if (!rd.ok) break;
        menu->items.push_back({static_cast<UINT>(flags & ~MF_END), id, text});
        if ((flags & MF_END) != 0) break;
    }
    return menu;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    if (menu == nullptr) return FALSE;
    auto &items = menu->items;
    if ((flags & MF_BYPOSITION) != 0) {
        if (position >= items.size()) return FALSE;
        items.erase(items.begin() + position);
        return TRUE;
    }
    auto it = std::find_if(items.begin(), items.end(), [&](const auto &i) { return i.id == position; });
    if (it == items.end()) return FALSE;
    items.erase(it);
    return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
    if (menu == nullptr) return FALSE;
    auto &items = menu->items;
    std::size_t at = 0;
    if ((flags & MF_BYPOSITION) != 0) {
        at = std::min<std::size_t>(position, items.size());
    } else {
        auto it = std::find_if(items.begin(), items.end(), [&](const auto &i) { return i.id == position; });
        at = static_cast<std::size_t>(it - items.begin());
    }
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(at),
                 HMENU__::item{flags & ~MF_BYPOSITION, id, text != nullptr ? text : u""});
    return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
    delete menu;
    return menu != nullptr;
}

HICON LoadIcon(HINSTANCE inst, LPCWSTR name) {
    HRSRC r = FindResource(inst, name, RT_GROUP_ICON);
    if (r == nullptr) return nullptr;
    static std::vector<std::unique_ptr<HICON__>> shared_icons;
    auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    for (const auto &icon : shared_icons) {
        if (icon->id == id) return icon.get();
    }
    shared_icons.push_back(std::make_unique<HICON__>(HICON__{IMAGE_ICON, id, true}));
    return shared_icons.back().get();
}

HBITMAP LoadBitmap(HINSTANCE inst, LPCWSTR name) {
    HRSRC r = FindResource(inst, name, RT_BITMAP);
    if (r == nullptr) return nullptr;
    return reinterpret_cast<HBITMAP>(new HICON__{IMAGE_BITMAP, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name))});
}

BOOL DestroyIcon(HICON icon) {
    if (icon != nullptr && icon->shared) return TRUE;
    delete icon;
    return icon != nullptr;
}

BOOL DeleteObject(HGDIOBJ object) {
    delete static_cast<HICON__ *>(object);
    return object != nullptr;
}
