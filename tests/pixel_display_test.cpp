// The pixel display: the system font, the dialog's layout in pixels, and a frame as drawn.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "display/pixel_display.h"
#include "user/dialog_template.h"
#include "support/dialog_fixture.h"

namespace {

using orvane_platform::pixel_display;

std::unique_ptr<pixel_display> offscreen(int width, int height, int dpi) {
    std::string error;
    std::unique_ptr<pixel_display> d(orvane_make_pixel_display({width, height, dpi, 1}, false, error));
    EXPECT_NE(d, nullptr) << error;
    return d;
}

// Control rectangles of a dialog template, in dialog units, by control id.
std::map<int, RECT> template_rects(int id) {
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = FindResource(inst, MAKEINTRESOURCE(id), RT_DIALOG);
    auto t = orvane_platform::parse_dialog_template(LockResource(LoadResource(inst, res)), SizeofResource(inst, res));
    EXPECT_TRUE(t);
    std::map<int, RECT> out;
    if (t) {
        for (const auto &item : t->items) out[item.id] = item.rect;
    }
    return out;
}

std::uint32_t pixel_at(cairo_surface_t *image, int x, int y) {
    const unsigned char *row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    return reinterpret_cast<const std::uint32_t *>(row)[x] & 0xFFFFFFu;
}

class PixelDialog : public orvane_test::DialogTest {
protected:
    void show(int width, int height, int dpi) {
        pixels = offscreen(width, height, dpi);
        orvane_platform::set_display(pixels.get());
        orvane_platform::screen_resized(width, height);
    }
    // The frame as the display made it, decoded from its PNG.
    cairo_surface_t *frame() {
        orvane_platform::refresh_display();
        std::string error;
        png = pixels->png(error);
        EXPECT_FALSE(png.empty()) << error;
        read = 0;
        if (image != nullptr) cairo_surface_destroy(image);
        image = cairo_image_surface_create_from_png_stream(
            [](void *self, unsigned char *data, unsigned int length) {
                auto *t = static_cast<PixelDialog *>(self);
                if (t->png.size() - t->read < length) return CAIRO_STATUS_READ_ERROR;
                std::memcpy(data, t->png.data() + t->read, length);
                t->read += length;
                return CAIRO_STATUS_SUCCESS;
            },
            this);
        return image;
    }
    void TearDown() override {
        if (image != nullptr) cairo_surface_destroy(image);
        DialogTest::TearDown();
    }
    std::unique_ptr<pixel_display> pixels;
    std::string png;
    std::size_t read = 0;
    cairo_surface_t *image = nullptr;
};

}  // namespace

// The Tahoma-compatible face, and base units from it as the platform computes them: another
// face (DejaVu Sans, say) would make the dialog wider than the screen.
TEST(PixelDisplay, SystemFontIsTheTahomaFaceWithItsBaseUnits) {
    for (auto [dpi, x, y] : {std::tuple{96, 6, 13}, std::tuple{192, 12, 25}}) {
        auto d = offscreen(240 * dpi / 96, 320 * dpi / 96, dpi);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->font_family(), "Tahoma");
        const auto &m = d->screen().metrics();
        EXPECT_EQ(m.base_x, x) << dpi;
        EXPECT_EQ(m.base_y, y) << dpi;
        EXPECT_EQ(m.bar, 26 * dpi / 96);
    }
}

// At QVGA and VGA, in both orientations, each control stands where its orientation's
// template puts it, mapped with the font's base units, and inside the screen.
TEST_F(PixelDialog, ControlsStandWhereTheTemplatesPutThem) {
    for (int dpi : {96, 192}) {
        int w = 240 * dpi / 96;
        int h = 320 * dpi / 96;
        show(w, h, dpi);
        HWND shown = open();
        ASSERT_NE(shown, nullptr);
        const auto &m = pixels->screen().metrics();
        for (bool landscape : {false, true}) {
            if (landscape) orvane_platform::screen_resized(h, w);
            auto rects = template_rects(landscape ? IDD_CONNECTION_LANDSCAPE : IDD_CONNECTION_PORTRAIT);
            ASSERT_FALSE(rects.empty());
            for (const auto &[id, units] : rects) {
                HWND c = GetDlgItem(shown, id);
                ASSERT_NE(c, nullptr) << id;
                auto mapped = [](LONG v, int base, int div) { return (v * base + div / 2) / div; };
                RECT want{mapped(units.left, m.base_x, 4), mapped(units.top, m.base_y, 8), mapped(units.right, m.base_x, 4),
                          mapped(units.bottom, m.base_y, 8)};
                RECT got = c->rect;
                EXPECT_TRUE(got.left == want.left && got.top == want.top && got.right == want.right && got.bottom == want.bottom)
                    << "control " << id << " at " << dpi << " dpi, " << (landscape ? "landscape" : "portrait");
                EXPECT_LE(got.right, landscape ? h : w) << id;
            }
            // The APN label's box at QVGA: 62 units, 93 px, in landscape.
            RECT apn = GetDlgItem(shown, IDC_APN_LABEL)->rect;
            if (dpi == 96 && landscape) {
                EXPECT_EQ(apn.right - apn.left, 93);
            }
        }
        dialog.reset();
        orvane_platform::clear_window_system();
    }
}

// A frame sampled where the look is known: the bars, the focused field's frame, the caret
// that follows typing, and an open list's marked entry.
TEST_F(PixelDialog, FrameShowsBarsFocusCaretAndAnOpenList) {
    constexpr std::uint32_t bar = 0x1B4F9C;
    constexpr std::uint32_t focus = 0x316AC5;
    show(240, 320, 96);
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    cairo_surface_t *f = frame();
    ASSERT_EQ(cairo_surface_status(f), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(f), 240);
    EXPECT_EQ(pixel_at(f, 1, 1), bar);
    EXPECT_EQ(pixel_at(f, 1, 318), bar);
    // Each half of the soft-key bar shows its label: white ink on the bar.
    for (int half : {0, 1}) {
        int ink = 0;
        for (int y = 300; y < 320; ++y) {
            for (int x = half * 120; x < half * 120 + 120; ++x) ink += pixel_at(f, x, y) == 0xFFFFFF;
        }
        EXPECT_GT(ink, 20) << (half == 0 ? "Create" : "Exit");
    }
    // "ok" in the title bar has a frame one pixel wide, on the bar's colour inside.
    {
        constexpr std::uint32_t edge = 0x8FB3E6;
        int x = 239;
        while (x > 120 && pixel_at(f, x, 13) != edge) --x;
        ASSERT_GT(x, 120) << "no frame of \"ok\" on the title bar";
        EXPECT_EQ(pixel_at(f, x - 1, 13), bar);
    }
    RECT name = orvane_platform::window_rect_on_screen(GetDlgItem(dialog, IDC_NAME));
    int middle = static_cast<int>(name.top + name.bottom) / 2;
    EXPECT_EQ(pixel_at(f, static_cast<int>(name.left), middle), focus);
    // The caret: the one column black from the top of the text line to its bottom.
    auto caret = [&](cairo_surface_t *img) {
        for (int x = static_cast<int>(name.left); x < name.right; ++x) {
            bool whole = true;
            for (int y = middle - 5; y <= middle + 5 && whole; ++y) whole = pixel_at(img, x, y) == 0;
            if (whole) return x;
        }
        return -1;
    };
    int before = caret(f);
    EXPECT_GT(before, name.left);
    type(U"xyz");
    int after = caret(frame());
    int typed = pixels->screen().text_width(U"Connectionxyz") - pixels->screen().text_width(U"Connection");
    EXPECT_NEAR(after - before, typed, 1);
    // Open the operator list: its marked entry lies below the field, highlighted.
    SetFocus(GetDlgItem(dialog, IDC_OPERATOR));
    key_press(orvane_test::key::enter);
    f = frame();
    RECT box = orvane_platform::window_box(GetDlgItem(dialog, IDC_OPERATOR), pixels->screen());
    const orvane_platform::surface_metrics &m = pixels->screen().metrics();
    // Right of the entry's text, where its row is only highlight, below the one-line field.
    int x = static_cast<int>(box.right) - 4;
    int y = static_cast<int>(box.top) + m.line + 2 * (m.border + m.padding) + 4;
    EXPECT_EQ(pixel_at(f, x, y), focus);
    key_press(orvane_test::key::escape);
    EXPECT_NE(pixel_at(frame(), x, y), focus);
    // With more entries than rows, the bar's down arrow at the list's bottom right steps it and
    // the track above the arrow pages it; neither chooses.
    HWND ops = GetDlgItem(dialog, IDC_OPERATOR);
    for (int i = 0; i < 40; ++i) SendMessage(ops, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"op"));
    key_press(orvane_test::key::enter);
    int field_bottom = static_cast<int>(box.top) + m.line + 2 * (m.border + m.padding);
    int rows = (320 - m.bar - field_bottom - 2 * m.border) / m.line;
    int bottom = field_bottom + rows * m.line + m.border;  // inside the frame
    auto press = [&](int px, int py) {
        orvane_platform::input_event e;
        e.type = orvane_platform::input_event::kind::click;
        e.column = px;
        e.row = py;
        orvane_platform::handle_input(e);
    };
    int bar_x = static_cast<int>(box.right) - m.border - m.button / 2;
    press(bar_x, bottom - 2);
    EXPECT_EQ(SendMessage(ops, CB_GETTOPINDEX, 0, 0), 1);
    press(bar_x, bottom - m.button - 3);
    EXPECT_EQ(SendMessage(ops, CB_GETTOPINDEX, 0, 0), 1 + rows);
    EXPECT_EQ(SendMessage(ops, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessage(ops, CB_GETDROPPEDSTATE, 0, 0), TRUE);
}

// Lines and frames are as thick as the screen's dpi makes the handheld's one pixel, rounded:
// at 144 dpi two pixels, not one (where dpi / 96 would be cut short, as at 168 and 240 dpi).
TEST_F(PixelDialog, FramesThickenWithTheDpiRounded) {
    constexpr std::uint32_t focus = 0x316AC5;
    int at_96 = 0;
    for (auto [dpi, scale] : {std::pair{96, 1}, std::pair{120, 1}, std::pair{144, 2}, std::pair{168, 2},
                              std::pair{192, 2}, std::pair{240, 3}}) {
        show(240 * dpi / 96, 320 * dpi / 96, dpi);
        HWND shown = open();
        ASSERT_NE(shown, nullptr);
        cairo_surface_t *f = frame();
        RECT name = orvane_platform::window_rect_on_screen(GetDlgItem(shown, IDC_NAME));
        const int middle = static_cast<int>(name.top + name.bottom) / 2;
        int thick = 0;
        while (thick < 20 && pixel_at(f, static_cast<int>(name.left) + thick, middle) == focus) ++thick;
        if (dpi == 96) at_96 = thick;
        EXPECT_GT(at_96, 0);
        EXPECT_EQ(thick, at_96 * scale) << dpi << " dpi";
        dialog.reset();
        orvane_platform::clear_window_system();
    }
}
