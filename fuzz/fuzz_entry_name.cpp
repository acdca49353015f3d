// Entry-name validation over arbitrary UTF-16 names.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ras/entry_name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::u16string name(size / 2, u'\0');
    if (!name.empty()) std::memcpy(name.data(), data, name.size() * 2);
    bool valid = orvane_platform::entry_name_valid(name);
    if (valid && (name.empty() || name.size() > orvane_platform::max_entry_name || name.find(u'/') != std::u16string::npos))
        __builtin_trap();
    return 0;
}
