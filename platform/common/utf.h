// Conversions between the program's UTF-16 text and the host's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace orvane_platform {

// Unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view text);
// Returns false when the text holds an unpaired surrogate.
bool is_valid_utf16(std::u16string_view text);
// Invalid sequences (overlong forms, surrogates, values past U+10FFFF included) become U+FFFD.
std::u16string from_utf8(std::string_view text);
// The byte offset of the first invalid UTF-8 sequence, or npos when the text is valid.
std::size_t invalid_utf8_offset(std::string_view text);
std::u32string to_utf32(std::u16string_view text);
// Appends one code point as one unit or a surrogate pair.
void append_utf16(std::u16string &out, char32_t c);

// The unit after the character at `at` / where the character before `at` starts: a
// surrogate pair is one character.
std::size_t next_char(std::u16string_view text, std::size_t at);
std::size_t previous_char(std::u16string_view text, std::size_t at);

// Unicode simple case folding, one code point for one, the same in every locale.
std::u16string fold_case(std::u16string_view text);

// Terminal cells a character takes: 2 for wide characters, 0 for combining marks and other
// zero-width characters, 1 otherwise (control characters are shown as one "?").
// Independent of the locale, so the layout is the same in every one.
int char_cells(char32_t c);
int text_cells(std::u32string_view text);
int text_cells(std::u16string_view text);

}  // namespace orvane_platform
