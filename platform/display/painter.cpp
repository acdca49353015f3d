// Turns the window tree into a grid of character cells.
#include <algorithm>

#include "../common/utf.h"
#include "../user/window_system.h"

namespace orvane_platform {
namespace {

int cell_of(LONG pixels, int unit) { return (static_cast<int>(pixels) + unit / 2) / unit; }

char32_t shown(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) ? U'?' : c; }

int cells_of(std::u32string_view text) { return text_cells(text); }

// Writes text from (col,row) within `width` cells; returns the cells used. A combining
// mark joins the character before it in that character's cell.
int put_text(cell_grid &g, int col, int row, int width, std::u32string_view text, std::uint8_t attr) {
    int used = 0;
    cell *last = nullptr;
    for (char32_t c : text) {
        c = shown(c);
        int w = char_cells(c);
        if (w == 0) {
            if (last != nullptr) g.add_mark(*last, c);
            continue;
        }
        if (used + w > width) break;
        last = g.at(col + used, row);
        if (last != nullptr) *last = cell{c, attr};
        if (w == 2) {
            if (cell *p = g.at(col + used + 1, row)) *p = cell{0, attr};
        }
        used += w;
    }
    return used;
}

// The same, ending in "…" when the text does not fit.
int put_text_cut(cell_grid &g, int col, int row, int width, std::u32string_view text, std::uint8_t attr) {
    if (cells_of(text) <= width) return put_text(g, col, row, width, text, attr);
    int used = put_text(g, col, row, std::max(0, width - 1), text, attr);
    return used + put_text(g, col + used, row, std::min(1, width), U"\u2026", attr);
}

void fill(cell_grid &g, int col, int row, int width, std::uint8_t attr) {
    for (int i = 0; i < width; ++i) {
        if (cell *p = g.at(col + i, row)) *p = cell{U' ', attr};
    }
}

struct placed {
    int col;
    int row;
    int width;
};

placed place(HWND w) {
    RECT r = window_rect_on_screen(w);
    placed p{cell_of(r.left, cell_width), cell_of(r.top, cell_height),
             std::max(1, cell_of(r.right - r.left, cell_width))};
    return p;
}

void paint_field(cell_grid &g, HWND w, const placed &p, std::u16string_view text, bool editable, bool masked,
                 int reserved) {
    bool focused = windows().focus == w;
    std::uint8_t attr = attr_field | (focused ? attr_focus : 0);
    int width = std::max(1, p.width - reserved);
    fill(g, p.col, p.row, p.width, attr);
    std::u32string chars = to_utf32(text);
    // One mask a character, an emoji's two units included.
    if (masked) chars.assign(chars.size(), U'*');
    std::size_t caret = std::min(to_utf32(text.substr(0, std::min(w->caret, text.size()))).size(), chars.size());
    // Keep the caret inside the field: the text scrolls sideways.
    std::size_t scroll = editable ? w->scroll : 0;
    if (editable) {
        if (caret < scroll) scroll = caret;
        while (scroll < caret && cells_of(std::u32string_view(chars).substr(scroll, caret - scroll)) >= width) {
            ++scroll;
        }
        w->scroll = scroll;
    }
    std::u32string_view visible = std::u32string_view(chars).substr(std::min(scroll, chars.size()));
    // A list's field shows where its text is cut; an edit field scrolls to its caret instead.
    if (editable) {
        put_text(g, p.col, p.row, width, visible, attr);
    } else {
        put_text_cut(g, p.col, p.row, width, visible, attr);
    }
    // The terminal cursor stands on the focused field, at the caret where there is one, so
    // that screen readers follow the focus.
    if (focused) {
        int before = editable ? cells_of(std::u32string_view(chars).substr(scroll, caret - scroll)) : 0;
        g.cursor_column = p.col + std::min(before, width - 1);
        g.cursor_row = p.row;
    }
}

void paint_control(cell_grid &g, HWND w) {
    placed p = place(w);
    switch (w->type) {
    case HWND__::kind::statik:
    case HWND__::kind::button:
        if ((w->style & 0xFu) == SS_ICON || (w->style & 0xFu) == SS_BITMAP) {
            put_text(g, p.col, p.row, p.width, U"[*]", attr_none);
        } else {
            put_text_cut(g, p.col, p.row, p.width, to_utf32(w->text), attr_none);
        }
        break;
    case HWND__::kind::edit:
        paint_field(g, w, p, w->text, true, (w->style & ES_PASSWORD) != 0, 0);
        break;
    case HWND__::kind::combo: {
        bool editable = is_drop_down_edit(w);
        std::u16string text = editable ? w->text
                                       : (w->selected >= 0 ? std::u16string(w->entry_text(static_cast<std::size_t>(w->selected)))
                                                           : std::u16string());
        paint_field(g, w, p, text, editable, false, 1);
        if (cell *c = g.at(p.col + p.width - 1, p.row)) *c = cell{U'v', static_cast<std::uint8_t>(c->attr | attr_bold)};
        break;
    }
    default:
        break;
    }
}

void paint_list(cell_grid &g, HWND w) {
    list_place p = open_list_place(w);
    if (p.rows <= 0) return;
    auto count = static_cast<int>(w->entries.size());
    int first = std::clamp(w->list_top, 0, std::max(0, count - p.rows));
    bool scrolls = count > p.rows;
    int text_width = scrolls ? p.width - 1 : p.width;
    for (int i = 0; i < p.rows; ++i) {
        int index = first + i;
        std::uint8_t attr = index == w->highlighted ? attr_reverse : attr_frame;
        fill(g, p.col, p.top + i, p.width, attr);
        put_text_cut(g, p.col, p.top + i, text_width, to_utf32(w->entry_text(static_cast<std::size_t>(index))), attr);
        if (index == w->highlighted) {
            g.cursor_column = p.col;
            g.cursor_row = p.top + i;
        }
    }
    if (scrolls) {
        // The scroll mark: arrows where more entries lie, the thumb where the shown ones are.
        int last = p.col + p.width - 1;
        int thumb = p.rows <= 2 ? -1 : 1 + static_cast<int>(static_cast<long long>(first) * (p.rows - 3) / std::max(1, count - p.rows));
        for (int i = 0; i < p.rows; ++i) {
            char32_t mark = U'\u2502';
            if (i == 0) mark = first > 0 ? U'\u25B2' : U' ';
            else if (i == p.rows - 1) mark = first + p.rows < count ? U'\u25BC' : U' ';
            else if (i == thumb) mark = U'\u2588';
            if (cell *c = g.at(last, p.top + i)) *c = cell{mark, attr_frame};
        }
    }
}

// Wraps at spaces so that no line takes more than `width` cells; a word wider than a line
// is cut, between characters, where the cells run out.
std::vector<std::u32string> wrap(const std::u32string &text, int width) {
    std::vector<std::u32string> lines;
    std::u32string line;
    std::u32string word;
    auto flush_word = [&] {
        while (cells_of(word) > width) {
            if (!line.empty()) {
                lines.push_back(line);
                line.clear();
            }
            std::size_t cut = 0;
            int used = 0;
            while (cut < word.size() && used + char_cells(word[cut]) <= width) used += char_cells(word[cut++]);
            if (cut == 0) cut = 1;
            lines.push_back(word.substr(0, cut));
            word.erase(0, cut);
        }
        if (line.empty()) {
            line = word;
        } else if (cells_of(line) + 1 + cells_of(word) <= width) {
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

void paint_box(cell_grid &g, const message_box_record &box) {
    int width = std::min(g.columns - 2, 36);
    if (width < 8) width = std::max(1, g.columns);
    int inner = std::max(1, width - 4);
    std::u32string icon = (box.type & 0xF0u) == MB_ICONINFORMATION ? U"(i) " : (box.type & 0xF0u) == MB_ICONEXCLAMATION ? U"(!) " : U"";
    auto lines = wrap(icon + to_utf32(box.text), inner);
    int max_lines = std::max(1, g.rows - 6);
    if (static_cast<int>(lines.size()) > max_lines) lines.resize(static_cast<std::size_t>(max_lines));
    int height = static_cast<int>(lines.size()) + 4;
    int col = std::max(0, (g.columns - width) / 2);
    int row = std::max(0, (g.rows - height) / 2);
    for (int r = 0; r < height; ++r) fill(g, col, row + r, width, attr_frame);
    for (int c = 0; c < width; ++c) {
        if (cell *p = g.at(col + c, row)) *p = cell{U'-', attr_frame};
        if (cell *p = g.at(col + c, row + height - 1)) *p = cell{U'-', attr_frame};
    }
    for (int r = 0; r < height; ++r) {
        if (cell *p = g.at(col, row + r)) *p = cell{U'|', attr_frame};
        if (cell *p = g.at(col + width - 1, row + r)) *p = cell{U'|', attr_frame};
    }
    std::u32string title(1, U' ');
    title += to_utf32(box.caption);
    title += U' ';
    put_text(g, col + 2, row, inner, title, attr_frame | attr_bold);
    for (std::size_t i = 0; i < lines.size(); ++i) put_text(g, col + 2, row + 1 + static_cast<int>(i), inner, lines[i], attr_frame);
    put_text(g, col + (width - 4) / 2, row + height - 2, 4, U"[OK]", attr_reverse);
    g.cursor_column = col + (width - 4) / 2 + 1;
    g.cursor_row = row + height - 2;
}

}  // namespace

void paint_screen(cell_grid &g) {
    auto &ws = windows();
    g.reset(ws.columns, ws.rows);
    HWND dialog = ws.dialogs.empty() ? nullptr : ws.dialogs.back();
    fill(g, 0, 0, g.columns, attr_reverse);
    if (g.rows > 1) fill(g, 0, g.rows - 1, g.columns, attr_reverse);
    if (dialog == nullptr) return;
    bool ok_button = (dialog->exstyle & WS_EX_CAPTIONOKBTN) != 0 && g.columns >= 8;
    put_text_cut(g, 1, 0, g.columns - (ok_button ? 6 : 2), to_utf32(dialog->text), attr_reverse | attr_bold);
    if (ok_button) put_text(g, g.columns - 3, 0, 2, U"ok", attr_reverse | attr_bold);
    for (HWND c : dialog->children) paint_control(g, c);
    for (HWND c : dialog->children) {
        if (c->type == HWND__::kind::combo && c->dropped) paint_list(g, c);
    }
    if (g.rows > 1 && dialog->menu_bar != nullptr && dialog->menu_bar->menu != nullptr) {
        // Each soft key's label with the key under it on a handheld: "F1 Create ... Exit F2",
        // each in its own half with a cell between them, cut where it does not fit.
        const auto &items = dialog->menu_bar->menu->items;
        int half = g.columns / 2;
        std::uint8_t label = attr_reverse | attr_bold;
        std::uint8_t dim = attr_reverse | attr_dim;
        if (!items.empty()) {
            int room = std::max(0, half - 2);
            int used = put_text(g, 1, g.rows - 1, std::min(room, 3), U"F1 ", dim);
            put_text_cut(g, 1 + used, g.rows - 1, std::max(0, room - used), to_utf32(items[0].text), label);
        }
        if (items.size() > 1) {
            std::u32string right = to_utf32(items[1].text);
            int width = std::max(0, std::min(cells_of(right) + 3, g.columns - half - 2));
            int at = g.columns - 1 - width;
            int text_width = std::max(0, width - 3);
            int used = put_text_cut(g, at, g.rows - 1, text_width, right, label);
            put_text(g, at + used, g.rows - 1, width - used, U" F2", dim);
        }
    }
    if (ws.in_modal_box) paint_box(g, ws.open_box);
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

void refresh_display() {
    display *d = current_display();
    if (d == nullptr) return;
    cell_grid g;
    paint_screen(g);
    d->present(g);
}

}  // namespace orvane_platform
