// The terminal's surface: one unit a character cell, four window pixels wide and eight tall.
#pragma once

#include "display.h"
#include "surface.h"

namespace orvane_platform {

class cell_surface : public surface {
public:
    cell_surface(int columns, int rows) { resize(columns, rows); }
    // Paints go to `grid` (sized for the screen and cleared); none: the surface only measures.
    void paint_into(cell_grid *grid);

    const surface_metrics &metrics() const override { return metrics_; }
    void set_size(int columns, int rows) override;
    RECT place(const RECT &on_screen) const override;
    void fill(const RECT &r, role how) override;
    void frame(const RECT &r, role how) override;
    int text(int x, int y, const RECT &clip, std::u32string_view text, role how, bool mark_cut) override;
    int text_width(std::u32string_view text) override;
    void caret(int x, int y, bool shown) override;
    void arrow(const RECT &r, role how) override;
    void scroll_bar(const RECT &r, int first, int shown, int count) override;
    scroll_parts scroll_bar_parts(const RECT &r, int first, int shown, int count) const override;

private:
    void resize(int columns, int rows);
    surface_metrics metrics_;
    cell_grid *grid_ = nullptr;
};

}  // namespace orvane_platform
