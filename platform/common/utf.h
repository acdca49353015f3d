// Conversions between the program's UTF-16 text and the host's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace orvane_platform {

// Unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view text);
// Returns false when the text holds an unpaired surrogate.
bool is_valid_utf16(std::u16string_view text);
// Invalid sequences become U+FFFD.
std::u16string from_utf8(std::string_view text);
std::u32string to_utf32(std::u16string_view text);
// Appends one code point as one unit or a surrogate pair.
void append_utf16(std::u16string &out, char32_t c);

}  // namespace orvane_platform
