#include "language_file.h"

#include "data_file_path.h"
#include "mapped_file.h"

namespace orvane_cr {

language_table::language_table() : language_table(language_file_path()) {}

language_table::language_table(const std::u16string &path) { loaded = load(path); }

bool language_table::load(const std::u16string &path) {
    mapped_file file(path.c_str());
    if (!file.is_open()) return false;
    // A view is aligned for any type, so the units are read in place; an odd last byte is dropped.
    std::u16string_view text(reinterpret_cast<const char16_t *>(file.data()), file.size() / 2);
    for_each_language_line(text, [this](std::u16string_view line, std::size_t) { return parse_entry(*this, line); });
    file.close();
    return !entries_.empty();
}

std::u16string language_table::translate(std::u16string_view english) const {
    auto it = entries_.find(english);
    return it == entries_.end() ? std::u16string(english) : it->second;
}

std::u16string language_file_path() { return data_file_path(u".lng"); }

bool parse_entry(language_table &table, std::u16string_view line) {
    std::size_t a = line.find(u'[');
    if (a == std::u16string_view::npos) return false;
    std::size_t b = line.find(u']', a + 1);
    if (b == std::u16string_view::npos) return false;
    std::size_t c = line.find(u'[', b + 1);
    if (c == std::u16string_view::npos) return false;
    std::size_t d = line.find(u']', c + 1);
    if (d == std::u16string_view::npos) return false;
    std::u16string_view key = line.substr(a + 1, b - a - 1);
    std::u16string_view value = line.substr(c + 1, d - c - 1);
    // The later line with a key wins.
    table.entries_.insert_or_assign(std::u16string(key), std::u16string(value));
    return true;
}

}  // namespace orvane_cr
