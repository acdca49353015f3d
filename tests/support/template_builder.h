// Dialog templates made by the tests, for the reading rules of the dialog manager and the re-layout.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace orvane_test {

struct template_builder {
    std::vector<BYTE> bytes;

    void word(WORD v) {
        bytes.push_back(static_cast<BYTE>(v));
        bytes.push_back(static_cast<BYTE>(v >> 8));
    }
    void dword(DWORD v) {
        word(static_cast<WORD>(v));
        word(static_cast<WORD>(v >> 16));
    }
    void text(std::u16string_view s) {
        for (char16_t c : s) word(c);
        word(0);
    }
    // Header without menu and class; with a font when `font` is set.
    void header(WORD count, bool font = true, DWORD style = 0) {
        dword(style | (font ? DS_SETFONT : 0));
        dword(0);
        word(count);
        for (int i = 0; i < 4; ++i) word(50);
        word(0);
        word(0);
        text(u"t");
        if (font) {
            word(8);
            text(u"MS Sans Serif");
        }
    }
    void item(WORD id, short x, short y, WORD cls, std::u16string_view title, DWORD style = 0) {
        while (bytes.size() % 4 != 0) bytes.push_back(0);
        dword(style);
        dword(0);
        word(static_cast<WORD>(x));
        word(static_cast<WORD>(y));
        word(40);
        word(8);
        word(id);
        word(0xFFFF);
        word(cls);
        text(title);
        word(0);
    }
};

}  // namespace orvane_test
