// The static control: a label, an icon or a bitmap.
#include "../common/utf.h"
#include "controls.h"

namespace orvane_platform {

namespace {
struct static_state : window_extra {
    HANDLE image = nullptr;
};
}  // namespace

LRESULT static_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        if (w->type == HWND__::kind::statik || w->type == HWND__::kind::button) {
            auto &dc = *reinterpret_cast<device_context *>(wp);
            bool image = (w->style & 0xFu) == SS_ICON || (w->style & 0xFu) == SS_BITMAP;
            dc.text(0, 0, dc.box(), image ? U"[*]" : to_utf32(w->text), role::window, !image);
        }
        return 0;
    case WM_CREATE:
        w->extra = std::make_unique<static_state>();
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case STM_SETIMAGE: {
        auto *st = dynamic_cast<static_state *>(w->extra.get());
        if (st == nullptr) return 0;
        HANDLE old = st->image;
        st->image = reinterpret_cast<HANDLE>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: {
        auto *st = dynamic_cast<static_state *>(w->extra.get());
        return st != nullptr ? reinterpret_cast<LRESULT>(st->image) : 0;
    }
    default: {
        LRESULT result = 0;
        plain_text_message(w, msg, wp, lp, result);
        return result;
    }
    }
}

}  // namespace orvane_platform
