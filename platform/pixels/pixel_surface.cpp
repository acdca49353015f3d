#include "pixel_surface.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "../common/mul_div.h"

namespace orvane_platform {
namespace {

struct rgb {
    double r, g, b;
};

constexpr rgb hex(unsigned v) { return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0}; }

// The platform's default theme: one table, a row a role.
struct look {
    rgb back;
    rgb ink;
    rgb edge;
    int edge_width;
};

look look_of(role how) {
    switch (how) {
    case role::window: return {hex(0xFFFFFF), hex(0x000000), hex(0xFFFFFF), 0};
    case role::bar: return {hex(0x1B4F9C), hex(0xFFFFFF), hex(0x1B4F9C), 0};
    case role::bar_label: return {hex(0x1B4F9C), hex(0xFFFFFF), hex(0x8FB3E6), 1};
    case role::bar_key: return {hex(0x8FB3E6), hex(0x8FB3E6), hex(0x8FB3E6), 0};
    case role::field: return {hex(0xFFFFFF), hex(0x000000), hex(0x7F9DB9), 1};
    case role::field_focus: return {hex(0xFFFFFF), hex(0x000000), hex(0x316AC5), 2};
    case role::list: return {hex(0xFFFFFF), hex(0x000000), hex(0x000000), 1};
    case role::list_mark: return {hex(0x316AC5), hex(0xFFFFFF), hex(0x316AC5), 0};
    case role::box: return {hex(0xF4F4F4), hex(0x000000), hex(0x1B4F9C), 1};
    case role::box_title: return {hex(0x1B4F9C), hex(0xFFFFFF), hex(0x1B4F9C), 1};
    case role::button: return {hex(0xD4D0C8), hex(0x000000), hex(0x404040), 1};
    }
    return {hex(0xFFFFFF), hex(0x000000), hex(0x000000), 0};
}
constexpr rgb button_face = hex(0xD4D0C8);
constexpr rgb button_edge = hex(0x808080);
constexpr rgb track = hex(0xE8E8E8);

void set(cairo_t *cr, rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// Where the platform keeps its fonts in this system: the Tahoma-compatible face of Debian's
// Wine fonts lies outside fontconfig's search path.
constexpr const char *wine_fonts = "/usr/share/wine/fonts";

}  // namespace

pixel_surface::pixel_surface(const pixel_screen &screen) : screen_(screen) {
    FcConfigAppFontAddDir(nullptr, reinterpret_cast<const FcChar8 *>(wine_fonts));
    resize(screen.width, screen.height);
    load_font();
}

pixel_surface::~pixel_surface() {
    if (layout_ != nullptr) g_object_unref(layout_);
    if (context_ != nullptr) g_object_unref(context_);
    if (cr_ != nullptr) cairo_destroy(cr_);
    if (image_ != nullptr) cairo_surface_destroy(image_);
}

void pixel_surface::set_size(int width, int height) { resize(width, height); }

void pixel_surface::resize(int width, int height) {
    screen_.width = std::max(width, 1);
    screen_.height = std::max(height, 1);
    if (cr_ != nullptr) cairo_destroy(cr_);
    if (image_ != nullptr) cairo_surface_destroy(image_);
    image_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, screen_.width, screen_.height);
    cr_ = cairo_create(image_);
    if (context_ != nullptr) pango_cairo_update_context(cr_, context_);
    metrics_.width = screen_.width;
    metrics_.height = screen_.height;
}

// The system font: 8 points at the screen's dpi, in pixels as the platform sizes it
// (-MulDiv(8, dpi, 72)); dialog base units from it as the platform computes them.
void pixel_surface::load_font() {
    int px = mul_div(8, screen_.dpi, 72);
    context_ = pango_cairo_create_context(cr_);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    PangoFontDescription *desc = pango_font_description_from_string("Tahoma,Liberation Sans");
    pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
    pango_context_set_font_description(context_, desc);
    layout_ = pango_layout_new(context_);
    pango_layout_set_font_description(layout_, desc);

    int height = 0;
    if (PangoFont *font = pango_context_load_font(context_, desc)) {
        PangoFontDescription *loaded = pango_font_describe(font);
        family_ = pango_font_description_get_family(loaded) != nullptr ? pango_font_description_get_family(loaded) : "";
        pango_font_description_free(loaded);
        // The font's height as the platform reports it: its Windows ascent and descent, each
        // rounded at this size.
        if (cairo_scaled_font_t *scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font))) {
            if (FT_Face face = cairo_ft_scaled_font_lock_face(scaled)) {
                const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
                if (os2 != nullptr && face->units_per_EM != 0) {
                    height = mul_div(os2->usWinAscent, px, face->units_per_EM) +
                             mul_div(os2->usWinDescent, px, face->units_per_EM);
                }
                cairo_ft_scaled_font_unlock_face(scaled);
            }
        }
        if (height == 0) {
            PangoFontMetrics *m = pango_font_get_metrics(font, nullptr);
            height = PANGO_PIXELS(pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m));
            pango_font_metrics_unref(m);
        }
        g_object_unref(font);
    }
    pango_font_description_free(desc);
    int average = measure(U"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int scale = std::max(1, mul_div(1, screen_.dpi, 96));
    metrics_.unit_x = metrics_.unit_y = 1;
    metrics_.base_x = (average / 26 + 1) / 2;
    metrics_.base_y = std::max(height, 1);
    metrics_.line = metrics_.base_y;
    metrics_.char_w = metrics_.base_x;
    metrics_.bar = mul_div(26, screen_.dpi, 96);
    metrics_.border = scale;
    metrics_.padding = 2 * scale;
    metrics_.button = mul_div(13, screen_.dpi, 96);
    metrics_.key_names = false;
}

namespace {
// Control characters show as "?", as on the terminal; what is no character, as U+FFFD.
char32_t shown_char(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return U'?';
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return U'\uFFFD';
    return c;
}
}  // namespace

void pixel_surface::set_layout_text(std::u32string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char32_t c : text) utf8::append(static_cast<std::uint32_t>(shown_char(c)), std::back_inserter(bytes));
    pango_layout_set_text(layout_, bytes.data(), static_cast<int>(bytes.size()));
}

int pixel_surface::caret_offset(std::u32string_view text, std::size_t index) {
    set_layout_text(text);
    int byte = 0;
    for (std::size_t i = 0; i < index && i < text.size(); ++i) {
        char32_t c = shown_char(text[i]);
        byte += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    PangoRectangle strong{};
    pango_layout_get_cursor_pos(layout_, byte, &strong, nullptr);
    return PANGO_PIXELS(strong.x);
}

std::size_t pixel_surface::index_at(std::u32string_view text, int x) {
    set_layout_text(text);
    int byte = 0;
    int trailing = 0;
    pango_layout_xy_to_index(layout_, x * PANGO_SCALE, 0, &byte, &trailing);
    std::size_t index = 0;
    for (int at = 0; index < text.size() && at < byte; ++index) {
        char32_t c = shown_char(text[index]);
        at += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    return std::min(text.size(), index + static_cast<std::size_t>(std::max(0, trailing)));
}

void pixel_surface::fill(const RECT &r, role how) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    set(cr_, look_of(how).back);
    cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr_);
}

void pixel_surface::frame(const RECT &r, role how) {
    look l = look_of(how);
    int w = l.edge_width * std::max(1, metrics_.border);
    if (w == 0 || r.right - r.left < 2 * w || r.bottom - r.top < 2 * w) return;
    set(cr_, l.edge);
    cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_rectangle(cr_, r.left + w, r.top + w, r.right - r.left - 2 * w, r.bottom - r.top - 2 * w);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr_);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
}

// The handheld clips text at its box; it has no mark for a cut.
int pixel_surface::text(int x, int y, const RECT &clip, std::u32string_view text, role how, bool) {
    if (text.empty()) return 0;
    set_layout_text(text);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout_, &width, &height);
    int room = static_cast<int>(clip.right) - x;
    // Cut at the side, or below: a second line, or a box under a bar or off the screen.
    int room_height = std::max(0, static_cast<int>(clip.bottom) - std::max(y, static_cast<int>(clip.top)));
    if (cuts_ != nullptr && (width > room || height > room_height)) {
        cuts_->push_back(cut_text{std::u32string(text), width, std::max(0, room), height, room_height, painting_});
    }
    if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;
    // Right-to-left text starts at its right: cut, it keeps its start and loses its end.
    PangoLayoutLine *first = pango_layout_get_line_readonly(layout_, 0);
    if (width > room && first != nullptr && first->resolved_dir == PANGO_DIRECTION_RTL) x = static_cast<int>(clip.right) - width;
    cairo_save(cr_);
    cairo_rectangle(cr_, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
    cairo_clip(cr_);
    set(cr_, look_of(how).ink);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout_);
    cairo_restore(cr_);
    return std::max(0, std::min(width, room));
}

int pixel_surface::text_width(std::u32string_view text) { return measure(text); }

int pixel_surface::measure(std::u32string_view text) {
    set_layout_text(text);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout_, &width, &height);
    return width;
}

void pixel_surface::caret(int x, int y, bool shown) {
    if (!shown) return;
    set(cr_, hex(0x000000));
    cairo_rectangle(cr_, x, y, std::max(1, metrics_.border), metrics_.line);
    cairo_fill(cr_);
}

// A button's face with a black triangle in its middle, pointing up or down.
void pixel_surface::arrow_button(double left, double top, double w, double h, bool up) {
    set(cr_, button_face);
    cairo_rectangle(cr_, left, top, w, h);
    cairo_fill(cr_);
    double half = std::max(2.0, std::floor(w / 4));
    double cx = left + w / 2;
    double tip = top + h / 2 + (up ? -half / 2 : half / 2);
    double base = top + h / 2 + (up ? half / 2 : -half / 2);
    set(cr_, hex(0x000000));
    cairo_move_to(cr_, cx - half, base);
    cairo_line_to(cr_, cx + half, base);
    cairo_line_to(cr_, cx, tip);
    cairo_close_path(cr_);
    cairo_fill(cr_);
}

// The combo box's button, pointing down, with an edge at its left.
void pixel_surface::arrow(const RECT &r, role) {
    int w = static_cast<int>(r.right - r.left);
    int h = static_cast<int>(r.bottom - r.top);
    if (w <= 0 || h <= 0) return;
    arrow_button(r.left, r.top, w, h, false);
    set(cr_, button_edge);
    cairo_rectangle(cr_, r.left, r.top, std::max(1, metrics_.border), h);
    cairo_fill(cr_);
}

// A track with arrow buttons at its ends and a thumb where the shown entries lie.
scroll_parts pixel_surface::scroll_bar_parts(const RECT &r, int first, int shown, int count) const {
    int w = static_cast<int>(r.right - r.left);
    int h = static_cast<int>(r.bottom - r.top);
    int button = std::max(0, std::min(w, h / 3));
    scroll_parts p;
    p.up_end = static_cast<int>(r.top) + button;
    p.down_start = static_cast<int>(r.bottom) - button;
    int room = p.down_start - p.up_end;
    p.thumb_top = p.thumb_bottom = p.up_end;
    if (room <= 0 || count <= 0) return p;
    int thumb = std::min(room, std::max(button / 2, room * shown / count));
    p.thumb_top = p.up_end + (count > shown ? (room - thumb) * first / (count - shown) : 0);
    p.thumb_bottom = p.thumb_top + thumb;
    return p;
}

void pixel_surface::scroll_bar(const RECT &r, int first, int shown, int count) {
    int w = static_cast<int>(r.right - r.left);
    int h = static_cast<int>(r.bottom - r.top);
    if (w <= 0 || h <= 0) return;
    set(cr_, track);
    cairo_rectangle(cr_, r.left, r.top, w, h);
    cairo_fill(cr_);
    scroll_parts parts = scroll_bar_parts(r, first, shown, count);
    arrow_button(r.left, r.top, w, parts.up_end - r.top, true);
    arrow_button(r.left, parts.down_start, w, r.bottom - parts.down_start, false);
    if (parts.thumb_bottom <= parts.thumb_top) return;
    set(cr_, button_edge);
    cairo_rectangle(cr_, r.left + 1, parts.thumb_top, w - 2, parts.thumb_bottom - parts.thumb_top);
    cairo_fill(cr_);
}

}  // namespace orvane_platform
