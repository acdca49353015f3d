// The state of an edit field, kept by edits and by drop-down combo boxes for their field.
#pragma once

#include <cstddef>

#include "window_core.h"

namespace orvane_platform {

struct edit_field : window_extra {
    std::size_t limit = 30000;
    std::size_t caret = 0;   // in UTF-16 units
    std::size_t anchor = 0;  // the selection's other end; the caret's place when nothing is selected
    std::size_t scroll = 0;  // the first character shown
};

// The field of an edit or a combo box; none for other windows.
inline edit_field *field_of(HWND w) { return dynamic_cast<edit_field *>(w->extra.get()); }

}  // namespace orvane_platform
