#include "dialog_template.h"

#include "resource_reader.h"

namespace orvane_platform {

std::optional<dialog_template> parse_dialog_template(const void *bytes, std::size_t size) {
    if (bytes == nullptr) return std::nullopt;
    const auto *base = static_cast<const BYTE *>(bytes);
    le_reader r(base, base + size);
    dialog_template t;
    t.style = r.dword();
    t.exstyle = r.dword();
    WORD count = r.word();
    for (int i = 0; i < 4; ++i) r.word();  // x, y, cx, cy: the dialog fills the screen
    std::u16string ignored;
    r.sz_or_ord(ignored);  // menu
    r.sz_or_ord(ignored);  // class
    r.sz_or_ord(t.caption);
    if ((t.style & DS_SETFONT) != 0) {
        r.word();
        r.sz_or_ord(ignored);  // font name
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.align4();
        dialog_template_item item;
        item.style = r.dword();
        item.exstyle = r.dword();
        auto x = static_cast<short>(r.word());
        auto y = static_cast<short>(r.word());
        auto cx = static_cast<short>(r.word());
        auto cy = static_cast<short>(r.word());
        item.rect = RECT{x, y, x + cx, y + cy};
        item.id = r.word();
        item.class_ordinal = r.sz_or_ord(item.class_name);
        if (r.sz_or_ord(item.title) != 0) item.title.clear();
        WORD extra = r.word();
        if (extra > 2) {
            if (static_cast<std::size_t>(r.end - r.p) < static_cast<std::size_t>(extra - 2)) return std::nullopt;
            r.p += extra - 2;
        }
        t.items.push_back(std::move(item));
    }
    if (!r.ok) return std::nullopt;
    return t;
}

}  // namespace orvane_platform
