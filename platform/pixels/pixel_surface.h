// The handheld's screen in pixels: a cairo image, text set by Pango in the system font.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

#include "../display/pixel_display.h"
#include "../display/surface.h"

namespace orvane_platform {

class pixel_surface : public surface {
public:
    explicit pixel_surface(const pixel_screen &screen);
    ~pixel_surface() override;
    pixel_surface(const pixel_surface &) = delete;
    pixel_surface &operator=(const pixel_surface &) = delete;

    const surface_metrics &metrics() const override { return metrics_; }
    void set_size(int width, int height) override;
    RECT place(const RECT &on_screen) const override { return on_screen; }
    void fill(const RECT &r, role how) override;
    void frame(const RECT &r, role how) override;
    int text(int x, int y, const RECT &clip, std::u32string_view text, role how, bool mark_cut) override;
    int text_width(std::u32string_view text) override;
    int caret_offset(std::u32string_view text, std::size_t index) override;
    std::size_t index_at(std::u32string_view text, int x) override;
    void caret(int x, int y, bool shown) override;
    void arrow(const RECT &r, role how) override;
    void scroll_bar(const RECT &r, int first, int shown, int count) override;
    scroll_parts scroll_bar_parts(const RECT &r, int first, int shown, int count) const override;

    cairo_surface_t *image() { return image_; }
    void record_cuts(std::vector<cut_text> *cuts) { cuts_ = cuts; }
    const std::string &font_family() const { return family_; }
    // Makes the image ready for reading its pixels.
    void flush() { cairo_surface_flush(image_); }

private:
    void load_font();
    void resize(int width, int height);
    int measure(std::u32string_view text);
    void set_layout_text(std::u32string_view text);
    void arrow_button(double left, double top, double w, double h, bool up);

    pixel_screen screen_;
    surface_metrics metrics_;
    cairo_surface_t *image_ = nullptr;
    cairo_t *cr_ = nullptr;
    PangoContext *context_ = nullptr;
    PangoLayout *layout_ = nullptr;
    std::string family_;
    std::vector<cut_text> *cuts_ = nullptr;
};

}  // namespace orvane_platform
