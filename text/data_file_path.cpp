#include "data_file_path.h"

#include <windows.h>

namespace orvane_cr {

std::u16string replace_extension(std::u16string_view program_path, std::u16string_view extension) {
    // Only a "." in the file name itself starts an extension; one in a folder name
    // (such as ~/.local) must not be cut.
    std::size_t name_start = program_path.find_last_of(u"/\\");
    name_start = name_start == std::u16string_view::npos ? 0 : name_start + 1;
    std::size_t dot = program_path.rfind(u'.');
    std::u16string result(program_path);
    if (dot != std::u16string_view::npos && dot >= name_start) result.resize(dot);
    result += extension;
    return result;
}

std::u16string data_file_path(std::u16string_view extension) {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileName(nullptr, path, MAX_PATH);
    // A truncated path would name some other file.
    if (length == 0 || length >= MAX_PATH) return {};
    return replace_extension(std::u16string_view(path, length), extension);
}

}  // namespace orvane_cr
