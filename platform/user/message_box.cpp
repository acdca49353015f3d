// The modal message box: a framed text with one OK button over the dialog, closed by Enter,
// Esc, Space or a click anywhere, in the one modal loop.
#include <algorithm>

#include "../common/utf.h"
#include "controls.h"

namespace orvane_platform {
namespace {

struct box_state : window_extra {
    message_box_record record;
};

// Wraps at spaces so that no line is wider than `width`; a word wider than a line is cut,
// between characters, where the room runs out.
std::vector<std::u32string> wrap(device_context &dc, const std::u32string &text, int width) {
    std::vector<std::u32string> lines;
    std::u32string line;
    std::u32string word;
    auto flush_word = [&] {
        while (dc.text_width(word) > width) {
            if (!line.empty()) {
                lines.push_back(line);
                line.clear();
            }
            std::size_t cut = 1;
            while (cut < word.size() && dc.text_width(std::u32string_view(word).substr(0, cut + 1)) <= width) ++cut;
            lines.push_back(word.substr(0, cut));
            word.erase(0, cut);
        }
        if (line.empty()) {
            line = word;
        } else if (dc.text_width(line + U' ' + word) <= width) {
            line += U' ';
            line += word;
        } else {
            lines.push_back(line);
            line = word;
        }
        word.clear();
    };
    for (char32_t c : text) {
        if (c == U'\n') {
            flush_word();
            lines.push_back(line);
            line.clear();
        } else if (c == U' ') {
            if (!word.empty()) flush_word();
        } else {
            word += c;
        }
    }
    if (!word.empty()) flush_word();
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void paint(device_context &dc, const message_box_record &box) {
    const surface_metrics &m = dc.metrics();
    int cw = m.char_w;
    int width = std::min(m.width - 2 * cw, 36 * cw);
    if (width < 8 * cw) width = std::max(1, m.width);
    int inner = std::max(1, width - 4 * cw);
    std::u32string icon = (box.type & 0xF0u) == MB_ICONINFORMATION ? U"(i) " : (box.type & 0xF0u) == MB_ICONEXCLAMATION ? U"(!) " : U"";
    auto lines = wrap(dc, icon + to_utf32(box.text), inner);
    auto max_lines = static_cast<std::size_t>(std::max(1, (m.height - 6 * m.line) / m.line));
    if (lines.size() > max_lines) lines.resize(max_lines);
    int height = (static_cast<int>(lines.size()) + 4) * m.line;
    int left = std::max(0, (m.width - width) / 2);
    int top = std::max(0, (m.height - height) / 2);
    RECT outer{left, top, left + width, top + height};
    dc.fill(outer, role::box);
    dc.fill(RECT{outer.left, outer.top, outer.right, outer.top + m.line}, role::box_title);
    dc.frame(outer, role::box);
    RECT text_area{left + 2 * cw, top, left + 2 * cw + inner, top + height};
    std::u32string title(1, U' ');
    title += to_utf32(box.caption);
    title += U' ';
    dc.text(left + 2 * cw, top, text_area, title, role::box_title, false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        dc.text(left + 2 * cw, top + (1 + static_cast<int>(i)) * m.line, text_area, lines[i], role::box, false);
    }
    int ok_width = dc.text_width(U"OK") + 2 * std::max(cw, m.padding);
    RECT ok{left + (width - ok_width) / 2, top + height - 2 * m.line, 0, 0};
    ok.right = ok.left + ok_width;
    ok.bottom = ok.top + m.line;
    dc.fill(ok, role::button);
    dc.frame(ok, role::button);
    dc.text(static_cast<int>(ok.left) + (ok_width - dc.text_width(U"OK")) / 2, static_cast<int>(ok.top), ok, U"OK", role::button, false);
    dc.caret(static_cast<int>(ok.left) + cw, static_cast<int>(ok.top), false);
}

RECT whole_screen() {
    const surface_metrics &m = current_surface().metrics();
    return RECT{0, 0, m.width * m.unit_x, m.height * m.unit_y};
}

}  // namespace

LRESULT message_box_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        w->extra = std::make_unique<box_state>();
        return 0;
    case WM_PAINT:
        paint(*reinterpret_cast<device_context *>(wp), static_cast<box_state &>(*w->extra).record);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case wm_key: {
        const auto &e = *reinterpret_cast<const input_event *>(lp);
        if (e.k == key::enter || e.k == key::escape || (e.k == key::character && e.ch == U' ')) EndDialog(w, IDOK);
        return TRUE;
    }
    case WM_LBUTTONDOWN:  // anywhere: the box's only button
        EndDialog(w, IDOK);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case wm_screen_changed:
        w->rect = whole_screen();
        return 0;
    default:
        return 0;
    }
}

}  // namespace orvane_platform

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    using namespace orvane_platform;
    message_box_record record{text != nullptr ? text : u"", caption != nullptr ? caption : u"", type};
    windows().boxes_shown.push_back(record);
    HWND box = make_window(HWND__::kind::message_box, 0, 0, record.caption, 0, whole_screen(), is_live(owner) ? owner : nullptr);
    static_cast<box_state &>(*box->extra).record = std::move(record);
    HWND before = SetFocus(box);
    HWND held = capture();
    set_capture(box);
    run_modal(box);
    set_capture(held);
    if (is_live(before)) SetFocus(before);
    return IDOK;
}
