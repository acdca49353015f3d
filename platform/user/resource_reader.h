// A little-endian reader over resource bytes, shared by the resource and template readers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace orvane_platform {

// A little-endian reader over resource bytes; a read past the end clears `ok` and gives 0.
struct le_reader {
    const BYTE *begin;
    const BYTE *p;
    const BYTE *end;
    bool ok = true;

    le_reader(const BYTE *from, const BYTE *to) : begin(from), p(from), end(to) {}
    WORD word() {
        if (end - p < 2) {
            ok = false;
            return 0;
        }
        auto v = static_cast<WORD>(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    DWORD dword() {
        DWORD lo = word();
        return lo | (static_cast<DWORD>(word()) << 16);
    }
    // An ordinal (0xFFFF, n), giving n, or a NUL-terminated string, giving 0 and the text.
    WORD sz_or_ord(std::u16string &text) {
        WORD first = word();
        if (!ok) return 0;
        if (first == 0xFFFF) return word();
        for (WORD c = first; ok && c != 0; c = word()) text += static_cast<char16_t>(c);
        return 0;
    }
    void align4() {
        auto off = static_cast<std::size_t>(p - begin);
        std::size_t pad = (4 - off % 4) % 4;
        if (static_cast<std::size_t>(end - p) < pad) {
            ok = false;
            return;
        }
        p += pad;
    }
};

}  // namespace orvane_platform
