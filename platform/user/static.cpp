// The static control: a label, an icon or a bitmap.
#include "window_system.h"

namespace orvane_platform {

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

}  // namespace orvane_platform
