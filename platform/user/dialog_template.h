// The binary dialog template (DLGTEMPLATE with its items), read without making a window, so
// that the dialog manager, tests and a fuzz target share one reader with explicit bounds.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvane_platform {

struct dialog_template_item {
    DWORD style = 0;
    DWORD exstyle = 0;
    RECT rect{};  // dialog units
    WORD id = 0;
    WORD class_ordinal = 0;  // 0x80 button ... 0x85 combo box; 0 when the class is named
    std::u16string class_name;
    std::u16string title;  // empty when the title is an ordinal
};

struct dialog_template {
    DWORD style = 0;
    DWORD exstyle = 0;
    std::u16string caption;
    std::vector<dialog_template_item> items;
};

// Nothing when the bytes end before the template does.
std::optional<dialog_template> parse_dialog_template(const void *bytes, std::size_t size);

}  // namespace orvane_platform
