// A small forward-only reader for the operators file (UTF-16LE, a subset of XML).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../text/mapped_file.h"

namespace orvane_cr {

// The first `unit` in `text` at or after `from`, or npos. memchr finds the candidates by their
// low byte, which is far quicker than a loop over the units on the long runs of a data file.
std::size_t find_unit(std::u16string_view text, char16_t unit, std::size_t from = 0);

struct xml_attribute {
    std::u16string name;
    std::u16string value;
};

using xml_attributes = std::vector<xml_attribute>;

class xml_reader {
public:
    // A tag or leaf text longer than this is skipped with its element, so that no preset is
    // built from a cut-off tag.
    static constexpr std::size_t text_capacity = 255;

    xml_reader() = default;
    xml_reader(const xml_reader &) = delete;
    xml_reader &operator=(const xml_reader &) = delete;

    bool open(const WCHAR *path);
    // Reads the given units instead of a file; they must outlive the reader's use.
    void open_units(std::u16string_view units);
    void close();

    bool skip_past(std::u16string_view pattern);
    // The next start tag and, for a leaf, its text, both trimmed of spaces: views into the text
    // read, valid while it is open.
    bool next_element(std::u16string_view &tag, std::u16string_view &text);

    // Splits a start tag's text into its attributes; a zero unit ends the tag. The list's
    // strings are reused from one tag to the next.
    static void parse_attributes(std::u16string_view tag, xml_attributes &attributes);
    static std::u16string_view trim_spaces(std::u16string_view s);

    // How often `unit` stands between the cursor and the end: "<" bounds the elements left.
    std::size_t count_ahead(char16_t unit) const;
    // Units from the start of the text to the cursor, or -1 once a search has failed.
    std::int64_t position() const;

private:
    static constexpr std::size_t exhausted = std::u16string_view::npos;
    // Moves the cursor past the next `unit`; false, and the reader exhausted, when none is left.
    bool pass(char16_t unit);

    std::unique_ptr<mapped_file> file_;
    std::u16string_view text_;
    std::size_t cursor_ = exhausted;
};

}  // namespace orvane_cr
