// The platform's rules for the name of a dial-up entry.
#pragma once

#include <string_view>

namespace orvane_platform {

inline constexpr std::size_t max_entry_name = 20;

bool entry_name_valid(std::u16string_view name);

}  // namespace orvane_platform
