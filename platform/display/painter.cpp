// The screen's frame: the title bar, the soft-key bar and message boxes; each control paints
// itself, open lists last so that they lie over the controls below them.
#include <algorithm>

#include "../common/utf.h"
#include "../user/window_system.h"
#include "cell_surface.h"

namespace orvane_platform {
namespace {

// Wraps at spaces so that no line is wider than `width`; a word wider than a line is cut,
// between characters, where the room runs out.
std::vector<std::u32string> wrap(surface &s, const std::u32string &text, int width) {
    std::vector<std::u32string> lines;
    std::u32string line;
    std::u32string word;
    auto flush_word = [&] {
        while (s.text_width(word) > width) {
            if (!line.empty()) {
                lines.push_back(line);
                line.clear();
            }
            std::size_t cut = 1;
            while (cut < word.size() && s.text_width(std::u32string_view(word).substr(0, cut + 1)) <= width) ++cut;
            lines.push_back(word.substr(0, cut));
            word.erase(0, cut);
        }
        if (line.empty()) {
            line = word;
        } else if (s.text_width(line + U' ' + word) <= width) {
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

void paint_box(surface &s, const message_box_record &box) {
    const surface_metrics &m = s.metrics();
    int cw = m.char_w;
    int width = std::min(m.width - 2 * cw, 36 * cw);
    if (width < 8 * cw) width = std::max(1, m.width);
    int inner = std::max(1, width - 4 * cw);
    std::u32string icon = (box.type & 0xF0u) == MB_ICONINFORMATION ? U"(i) " : (box.type & 0xF0u) == MB_ICONEXCLAMATION ? U"(!) " : U"";
    auto lines = wrap(s, icon + to_utf32(box.text), inner);
    auto max_lines = static_cast<std::size_t>(std::max(1, (m.height - 6 * m.line) / m.line));
    if (lines.size() > max_lines) lines.resize(max_lines);
    int height = (static_cast<int>(lines.size()) + 4) * m.line;
    int left = std::max(0, (m.width - width) / 2);
    int top = std::max(0, (m.height - height) / 2);
    RECT outer{left, top, left + width, top + height};
    s.fill(outer, role::box);
    s.fill(RECT{outer.left, outer.top, outer.right, outer.top + m.line}, role::box_title);
    s.frame(outer, role::box);
    RECT text_area{left + 2 * cw, top, left + 2 * cw + inner, top + height};
    std::u32string title(1, U' ');
    title += to_utf32(box.caption);
    title += U' ';
    s.text(left + 2 * cw, top, text_area, title, role::box_title, false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s.text(left + 2 * cw, top + (1 + static_cast<int>(i)) * m.line, text_area, lines[i], role::box, false);
    }
    int ok_width = s.text_width(U"OK") + 2 * std::max(cw, m.padding);
    RECT ok{left + (width - ok_width) / 2, top + height - 2 * m.line, 0, 0};
    ok.right = ok.left + ok_width;
    ok.bottom = ok.top + m.line;
    s.fill(ok, role::button);
    s.frame(ok, role::button);
    s.text(ok.left + (ok_width - s.text_width(U"OK")) / 2, ok.top, ok, U"OK", role::button, false);
    s.caret(ok.left + cw, ok.top, false);
}

// The soft keys, each in its own half. The terminal names the key under each label
// ("F1 Create ... Exit F2") as a handheld's keys sit under theirs.
void paint_soft_keys(surface &s, const RECT &bar, const std::vector<HMENU__::item> &items) {
    const surface_metrics &m = s.metrics();
    int half = m.width / 2;
    int y = bar.top + (m.bar - m.line) / 2;
    if (!m.key_names) {
        for (std::size_t i = 0; i < items.size() && i < 2; ++i) {
            RECT room{i == 0 ? 0 : half, bar.top, i == 0 ? half : m.width, bar.bottom};
            std::u32string label = to_utf32(items[i].text);
            int x = room.left + std::max(0, (static_cast<int>(room.right - room.left) - s.text_width(label)) / 2);
            s.text(x, y, room, label, role::bar_label, true);
        }
        if (!items.empty()) s.fill(RECT{half, bar.top + m.bar / 4, half + 1, bar.bottom - m.bar / 4}, role::bar_key);
        return;
    }
    int cw = m.char_w;
    if (!items.empty()) {
        int room = std::max(0, half - 2 * cw);
        int used = s.text(cw, y, RECT{cw, bar.top, cw + std::min(room, 3 * cw), bar.bottom}, U"F1 ", role::bar_key, false);
        s.text(cw + used, y, RECT{cw + used, bar.top, cw + room, bar.bottom}, to_utf32(items[0].text), role::bar_label, true);
    }
    if (items.size() > 1) {
        std::u32string right = to_utf32(items[1].text);
        int width = std::max(0, std::min(s.text_width(right) + 3 * cw, m.width - half - 2 * cw));
        int at = m.width - cw - width;
        int used = s.text(at, y, RECT{at, bar.top, at + std::max(0, width - 3 * cw), bar.bottom}, right, role::bar_label, true);
        s.text(at + used, y, RECT{at + used, bar.top, at + width, bar.bottom}, U" F2", role::bar_key, false);
    }
}

}  // namespace

void paint_screen(surface &s) {
    const surface_metrics &m = s.metrics();
    auto &ws = windows();
    HWND dialog = ws.dialogs.empty() ? nullptr : ws.dialogs.back();
    RECT title{0, 0, m.width, m.bar};
    RECT keys{0, m.height - m.bar, m.width, m.height};
    s.fill(RECT{0, 0, m.width, m.height}, role::window);
    s.fill(title, role::bar);
    if (m.height > m.bar) s.fill(keys, role::bar);
    if (dialog == nullptr) return;
    int y = (m.bar - m.line) / 2;
    bool ok_button = (dialog->exstyle & WS_EX_CAPTIONOKBTN) != 0 && m.width >= 8 * m.char_w;
    RECT caption{m.char_w, 0, m.width - m.char_w, m.bar};
    if (ok_button) {
        int ok_width = s.text_width(U"ok") + 2 * m.padding;
        RECT ok{m.width - m.char_w - ok_width, y, m.width - m.char_w, y + m.line};
        s.frame(ok, role::bar_label);
        s.text(ok.left + m.padding, y, ok, U"ok", role::bar_label, false);
        caption.right = ok.left - 2 * m.char_w;
    }
    s.text(caption.left, y, caption, to_utf32(dialog->text), role::bar_label, true);
    for (HWND c : dialog->children) {
        device_context dc(s, control_box(c, s));
        SendMessage(c, WM_PAINT, reinterpret_cast<WPARAM>(&dc), 0);
    }
    for (HWND c : dialog->children) {
        device_context dc(s, RECT{0, 0, m.width, m.height});
        SendMessage(c, wm_paint_list, reinterpret_cast<WPARAM>(&dc), 0);
    }
    if (m.height > m.bar && dialog->menu_bar != nullptr && dialog->menu_bar->menu != nullptr) {
        paint_soft_keys(s, keys, dialog->menu_bar->menu->items);
    }
    if (ws.in_modal_box) paint_box(s, ws.open_box);
}

char32_t ascii_stand_in(char32_t c) {
    switch (c) {
    case U'\u2026': return U'~';
    case U'\u25B2': return U'^';
    case U'\u25BC': return U'v';
    case U'\u2588': return U'#';
    case U'\u2502': return U'|';
    default: return 0;
    }
}

cell_display::cell_display(int columns, int rows) : cells_(std::make_unique<cell_surface>(columns, rows)) {}
cell_display::~cell_display() = default;
surface &cell_display::screen() { return *cells_; }

void cell_display::paint(const std::function<void(surface &)> &draw) {
    cell_grid g;
    auto &cells = static_cast<cell_surface &>(*cells_);
    cells.paint_into(&g);
    draw(cells);
    cells.paint_into(nullptr);
    present(g);
}

void refresh_display() {
    if (display *d = current_display()) d->paint([](surface &s) { paint_screen(s); });
}

}  // namespace orvane_platform
