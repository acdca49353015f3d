#include "utf.h"

#include <utf8proc.h>

namespace orvane_platform {

int char_cells(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return 1;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 1;
    utf8proc_int32_t width = utf8proc_charwidth(static_cast<utf8proc_int32_t>(c));
    return width >= 2 ? 2 : (width <= 0 ? 0 : 1);
}

int text_cells(std::u32string_view text) {
    int n = 0;
    for (char32_t c : text) n += char_cells(c);
    return n;
}

int text_cells(std::u16string_view text) {
    int n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        n += char_cells(c);
    }
    return n;
}

namespace {

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

template <typename Sink>
void decode16(std::u16string_view text, Sink sink) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (is_high(u) && i + 1 < text.size() && is_low(text[i + 1])) {
            sink(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (is_high(u) || is_low(u)) {
            sink(0xFFFD);
        } else {
            sink(u);
        }
    }
}

}  // namespace

std::string to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    decode16(text, [&](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    });
    return out;
}

bool is_valid_utf16(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_high(text[i])) {
            if (i + 1 >= text.size() || !is_low(text[i + 1])) return false;
            ++i;
        } else if (is_low(text[i])) {
            return false;
        }
    }
    return true;
}

std::u32string to_utf32(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    decode16(text, [&](char32_t c) { out += c; });
    return out;
}

void append_utf16(std::u16string &out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

std::u16string from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto put = [&](char32_t c) { append_utf16(out, c); };
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        } else {
            put(0xFFFD);
            ++i;
            continue;
        }
        if (i + static_cast<std::size_t>(extra) >= text.size()) {
            put(0xFFFD);
            break;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto n = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((n & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (n & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            put(0xFFFD);
            ++i;
            continue;
        }
        put(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace orvane_platform
