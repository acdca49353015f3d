// Where the optional data files live: next to the program, named after it.
#pragma once

#include <string>
#include <string_view>

namespace orvane_cr {

// The program's path with its extension replaced by (or, without one, extended with)
// `extension`; empty when the program's path cannot be obtained.
std::u16string data_file_path(std::u16string_view extension);

// The rule itself, on a given program path.
std::u16string replace_extension(std::u16string_view program_path, std::u16string_view extension);

}  // namespace orvane_cr
