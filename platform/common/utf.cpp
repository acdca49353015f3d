#include "utf.h"

#include <utf8.h>
#include <unicode/uchar.h>
#include <utf8proc.h>

#include <algorithm>
#include <iterator>

namespace orvane_platform {

int char_cells(char32_t c) {
    if (c < 0x7F) return 1;  // printable ASCII, and the controls that are drawn as "?"
    if (c == 0x7F || (c >= 0x80 && c < 0xA0)) return 1;
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
    decode16(text, [&](char32_t c) { utf8::unchecked::append(c, std::back_inserter(out)); });
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

std::size_t invalid_utf8_offset(std::string_view text) {
    auto bad = utf8::find_invalid(text.begin(), text.end());
    return bad == text.end() ? std::string_view::npos : static_cast<std::size_t>(bad - text.begin());
}

std::u16string from_utf8(std::string_view text) {
    // utfcpp refuses overlong forms, surrogates and values past U+10FFFF; each such
    // sequence becomes one U+FFFD.
    std::string repaired;
    if (invalid_utf8_offset(text) != std::string_view::npos) {
        utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(repaired), 0xFFFDu);
        text = repaired;
    }
    std::u16string out;
    out.reserve(text.size());
    utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

std::size_t next_char(std::u16string_view text, std::size_t at) {
    if (at >= text.size()) return text.size();
    bool pair = at + 1 < text.size() && text[at] >= 0xD800 && text[at] <= 0xDBFF && text[at + 1] >= 0xDC00 &&
                text[at + 1] <= 0xDFFF;
    return at + (pair ? 2 : 1);
}

std::size_t previous_char(std::u16string_view text, std::size_t at) {
    at = std::min(at, text.size());
    if (at == 0) return 0;
    bool pair = at >= 2 && text[at - 1] >= 0xDC00 && text[at - 1] <= 0xDFFF && text[at - 2] >= 0xD800 && text[at - 2] <= 0xDBFF;
    return at - (pair ? 2 : 1);
}

std::u16string fold_case(std::u16string_view text) {
    std::u16string folded;
    folded.reserve(text.size());
    for (char32_t c : to_utf32(text)) append_utf16(folded, static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT)));
    return folded;
}

}  // namespace orvane_platform
