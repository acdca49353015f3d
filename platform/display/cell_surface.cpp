#include "cell_surface.h"

#include <algorithm>

#include "../common/utf.h"

namespace orvane_platform {
namespace {

constexpr int cell_w = 4;
constexpr int cell_h = 8;

int cell_of(LONG pixels, int unit) { return (static_cast<int>(pixels) + unit / 2) / unit; }

char32_t shown_char(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) ? U'?' : c; }

std::uint8_t attr_of(role how) {
    switch (how) {
    case role::window: return attr_none;
    case role::bar: return attr_reverse;
    case role::bar_label: return attr_reverse | attr_bold;
    case role::bar_key: return attr_reverse | attr_dim;
    case role::field: return attr_field;
    case role::field_focus: return attr_field | attr_focus;
    case role::list: return attr_frame;
    case role::list_mark: return attr_reverse;
    case role::box: return attr_frame;
    case role::box_title: return attr_frame | attr_bold;
    case role::button: return attr_reverse;
    }
    return attr_none;
}

// Writes text from (col,row) within `width` cells; returns the cells used. A combining
// mark joins the character before it in that character's cell.
int put_text(cell_grid *g, int col, int row, int width, std::u32string_view text, std::uint8_t attr) {
    int used = 0;
    cell *last = nullptr;
    for (char32_t c : text) {
        c = shown_char(c);
        int w = char_cells(c);
        if (w == 0) {
            if (last != nullptr && g != nullptr) g->add_mark(*last, c);
            continue;
        }
        if (used + w > width) break;
        last = g != nullptr ? g->at(col + used, row) : nullptr;
        if (last != nullptr) *last = cell{c, attr};
        if (w == 2 && g != nullptr) {
            if (cell *p = g->at(col + used + 1, row)) *p = cell{0, attr};
        }
        used += w;
    }
    return used;
}

}  // namespace

void cell_surface::paint_into(cell_grid *grid) {
    grid_ = grid;
    if (grid_ != nullptr) grid_->reset(metrics_.width, metrics_.height);
}

void cell_surface::set_size(int columns, int rows) { resize(columns, rows); }

void cell_surface::resize(int columns, int rows) {
    metrics_ = surface_metrics{};
    metrics_.width = std::max(columns, 1);
    metrics_.height = std::max(rows, 1);
    metrics_.unit_x = cell_w;
    metrics_.unit_y = cell_h;
    metrics_.key_names = true;
}

// A window takes the cell nearest its top-left corner (half rounds up), one row.
RECT cell_surface::place(const RECT &r) const {
    int col = cell_of(r.left, cell_w);
    int row = cell_of(r.top, cell_h);
    int width = std::max(1, cell_of(r.right - r.left, cell_w));
    return RECT{col, row, col + width, row + 1};
}

void cell_surface::fill(const RECT &r, role how) {
    if (grid_ == nullptr) return;
    for (LONG row = r.top; row < r.bottom; ++row) {
        for (LONG col = r.left; col < r.right; ++col) {
            if (cell *p = grid_->at(col, row)) *p = cell{U' ', attr_of(how)};
        }
    }
}

// Cells frame a message box with lines and bracket a button; fields need no frame here.
void cell_surface::frame(const RECT &r, role how) {
    if (grid_ == nullptr || r.right <= r.left || r.bottom <= r.top) return;
    std::uint8_t a = attr_of(how);
    if (how == role::button) {
        if (cell *p = grid_->at(r.left, r.top)) *p = cell{U'[', a};
        if (cell *p = grid_->at(r.right - 1, r.top)) *p = cell{U']', a};
        return;
    }
    if (how != role::box) return;
    for (LONG c = r.left; c < r.right; ++c) {
        if (cell *p = grid_->at(c, r.top)) *p = cell{U'-', a};
        if (cell *p = grid_->at(c, r.bottom - 1)) *p = cell{U'-', a};
    }
    for (LONG row = r.top; row < r.bottom; ++row) {
        if (cell *p = grid_->at(r.left, row)) *p = cell{U'|', a};
        if (cell *p = grid_->at(r.right - 1, row)) *p = cell{U'|', a};
    }
}

int cell_surface::text(int x, int y, const RECT &clip, std::u32string_view t, role how, bool mark_cut) {
    if (y < clip.top || y >= clip.bottom || x < clip.left) return 0;
    int width = std::max(0, static_cast<int>(clip.right) - x);
    std::uint8_t a = attr_of(how);
    if (!mark_cut || text_cells(t) <= width) return put_text(grid_, x, y, width, t, a);
    // Cut, ending in "…".
    int used = put_text(grid_, x, y, std::max(0, width - 1), t, a);
    return used + put_text(grid_, x + used, y, std::min(1, width), U"\u2026", a);
}

int cell_surface::text_width(std::u32string_view t) { return text_cells(t); }

void cell_surface::caret(int x, int y, bool) {
    if (grid_ == nullptr) return;
    grid_->cursor_column = x;
    grid_->cursor_row = y;
}

void cell_surface::arrow(const RECT &r, role) {
    if (grid_ == nullptr || r.right <= r.left) return;
    if (cell *c = grid_->at(r.left, r.top)) *c = cell{U'v', static_cast<std::uint8_t>(c->attr | attr_bold)};
}

// Arrows where more entries lie, the thumb where the shown ones are.
scroll_parts cell_surface::scroll_bar_parts(const RECT &r, int first, int shown, int count) const {
    int top = static_cast<int>(r.top);
    int rows = static_cast<int>(r.bottom - r.top);
    scroll_parts p{top + 1, top + 1, top + 1, top + std::max(1, rows - 1)};
    if (rows > 2) {
        p.thumb_top = top + 1 + static_cast<int>(static_cast<long long>(first) * (rows - 3) / std::max(1, count - shown));
        p.thumb_bottom = p.thumb_top + 1;
    }
    return p;
}

void cell_surface::scroll_bar(const RECT &r, int first, int shown, int count) {
    if (grid_ == nullptr) return;
    scroll_parts parts = scroll_bar_parts(r, first, shown, count);
    for (int y = static_cast<int>(r.top); y < r.bottom; ++y) {
        char32_t mark = U'\u2502';
        if (y < parts.up_end) mark = first > 0 ? U'\u25B2' : U' ';
        else if (y >= parts.down_start) mark = first + shown < count ? U'\u25BC' : U' ';
        else if (y >= parts.thumb_top && y < parts.thumb_bottom) mark = U'\u2588';
        if (cell *c = grid_->at(r.left, y)) *c = cell{mark, attr_frame};
    }
}

}  // namespace orvane_platform
