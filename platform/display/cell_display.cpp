// The display of character cells: frames painted into a grid, then presented.
#include "cell_surface.h"
#include "display.h"

namespace orvane_platform {

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

}  // namespace orvane_platform
