// The language file loader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "text/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    orvane_cr::language_table table(std::u16string{});
    orvane_cr::for_each_language_line(units, [&](std::u16string_view line, std::size_t) {
        return orvane_cr::parse_entry(table, line);
    });
    for (const auto &[k, v] : table.entries()) {
        if (k.find(u']') != std::u16string::npos || v.find(u']') != std::u16string::npos) __builtin_trap();
    }
    return 0;
}
