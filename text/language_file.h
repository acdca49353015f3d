// The language file: lines of "[English text] [translation]".
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace orvane_cr {

class language_table {
public:
    using entries_type = std::map<std::u16string, std::u16string, std::less<>>;

    // Loads the language file next to the program.
    language_table();
    // Loads the file at `path` (empty: nothing).
    explicit language_table(const std::u16string &path);

    bool load(const std::u16string &path);
    std::u16string translate(std::u16string_view english) const;
    const entries_type &entries() const { return entries_; }

    bool loaded = false;

private:
    friend bool parse_entry(language_table &table, std::u16string_view line);
    entries_type entries_;
};

std::u16string language_file_path();

// Stores the entry of one line; false when the line holds none.
bool parse_entry(language_table &table, std::u16string_view line);

// Calls `line_fn(line, number)` for each line of the text as the loader splits it,
// until it returns false; number counts the lines of the file, blank ones included.
// Returns the number of lines passed to it.
template <typename LineFn>
std::size_t for_each_language_line(std::u16string_view text, LineFn line_fn) {
    std::size_t pos = 0;
    std::size_t number = 1;
    std::size_t calls = 0;
    for (;;) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
        std::u16string_view line = text.substr(pos, end - pos);
        std::size_t next_number = number;
        // Every run of CR and LF separates two lines alike; count the file's own lines.
        pos = end;
        while (pos < text.size() && (text[pos] == u'\r' || text[pos] == u'\n')) {
            if (text[pos] == u'\n' || pos + 1 >= text.size() || text[pos + 1] != u'\n') ++next_number;
            ++pos;
        }
        ++calls;
        if (!line_fn(line, number)) return calls;
        number = next_number;
    }
}

}  // namespace orvane_cr
