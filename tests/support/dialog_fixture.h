// The dialog built in process on the headless display, for the tests that drive it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/connection_dialog.h"
#include "display/headless_display.h"
#include "resources/resource.h"
#include "test_support.h"
#include "user/window_core.h"

namespace orvane_test {

using orvane_platform::headless_display;
using orvane_platform::key;

inline std::u16string text_of(HWND w) {
    std::u16string buf(static_cast<std::size_t>(GetWindowTextLength(w)) + 1, u'\0');
    int n = GetWindowText(w, buf.data(), static_cast<int>(buf.size()));
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

// Builds the dialog window as DoModal does, without a modal loop.
inline HWND open_dialog(CConnectionDialog &dialog) { return dialog.Create(IDD_CONNECTION_PORTRAIT) ? dialog.m_hWnd : nullptr; }

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(beside_self(".xml"));
        std::filesystem::remove(beside_self(".lng"));
        orvane_platform::set_display(&screen);
        orvane_platform::screen_resized(40, 24);
    }
    void TearDown() override {
        dialog.reset();
        orvane_platform::set_display(nullptr);
        orvane_platform::clear_window_system();
        std::filesystem::remove(beside_self(".xml"));
    }
    HWND open() {
        dialog = std::make_unique<CConnectionDialog>();
        HWND w = open_dialog(*dialog);
        EXPECT_NE(w, nullptr);
        return w;
    }
    void key_press(key k, char32_t ch = 0) {
        orvane_platform::input_event e;
        e.type = orvane_platform::input_event::kind::key;
        e.k = k;
        e.ch = ch;
        orvane_platform::handle_input(e);
    }
    void type(const std::u32string &s) {
        for (char32_t c : s) key_press(key::character, c);
    }
    void resize(int columns, int rows) {
        screen.resize(columns, rows);
        orvane_platform::handle_input(screen.wait_event());
    }
    std::string screen_text() {
        orvane_platform::refresh_display();
        return screen.last_frame().text();
    }

    device_sandbox device;
    headless_display screen{40, 24};
    std::unique_ptr<CConnectionDialog> dialog;
};


}  // namespace orvane_test
