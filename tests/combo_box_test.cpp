// The platform's combo box, on a dialog of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/headless_display.h"
#include "support/template_builder.h"
#include "user/window_system.h"

namespace {

int selchange_count = 0;

INT_PTR counting_proc(HWND, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wparam) == CBN_SELCHANGE) ++selchange_count;
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class ComboTest : public ::testing::Test {
protected:
    void SetUp() override {
        orvane_platform::set_display(&screen);
        orvane_platform::screen_resized(40, 24);
        orvane_test::template_builder b;
        b.header(3, false);
        WORD id = 1;
        for (DWORD style : {CBS_DROPDOWNLIST | CBS_SORT, CBS_DROPDOWN, CBS_DROPDOWNLIST}) {
            b.item(id, 0, static_cast<short>(10 * id), 0x85, u"", style | WS_TABSTOP);
            ++id;
        }
        dialog = orvane_platform::create_dialog_from_bytes(b.bytes.data(), b.bytes.size(), nullptr, counting_proc, 0);
        ASSERT_NE(dialog, nullptr);
        sorted = GetDlgItem(dialog, 1);
        editable = GetDlgItem(dialog, 2);
        plain = GetDlgItem(dialog, 3);
        selchange_count = 0;
    }
    void TearDown() override {
        orvane_platform::set_display(nullptr);
        orvane_platform::clear_window_system();
    }
    LRESULT add(HWND c, const char16_t *s) { return SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s)); }
    std::u16string item(HWND c, int i) {
        WCHAR buf[128];
        LRESULT n = SendMessage(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        return n < 0 ? u"<err>" : std::u16string(buf, static_cast<std::size_t>(n));
    }
    void press(orvane_platform::key k) {
        orvane_platform::input_event e;
        e.type = orvane_platform::input_event::kind::key;
        e.k = k;
        orvane_platform::handle_input(e);
    }
    orvane_platform::headless_display screen{40, 24};
    HWND dialog = nullptr;
    HWND sorted = nullptr;
    HWND editable = nullptr;
    HWND plain = nullptr;
};

}  // namespace

TEST_F(ComboTest, SortedInsertionIgnoresCaseAndReturnsTheIndex) {
    EXPECT_EQ(add(sorted, u"beta"), 0);
    EXPECT_EQ(add(sorted, u"Alpha"), 0);
    EXPECT_EQ(add(sorted, u"Gamma"), 2);
    EXPECT_EQ(add(sorted, u"ALPHA"), 1);  // after its equal
    EXPECT_EQ(item(sorted, 0), u"Alpha");
    EXPECT_EQ(item(sorted, 1), u"ALPHA");
    EXPECT_EQ(item(sorted, 3), u"Gamma");
    EXPECT_EQ(add(plain, u"z"), 0);
    EXPECT_EQ(add(plain, u"a"), 1);  // unsorted boxes append
    EXPECT_EQ(item(plain, 5), u"<err>");
    SendMessage(plain, CB_SETITEMDATA, 1, 77);
    EXPECT_EQ(SendMessage(plain, CB_GETITEMDATA, 1, 0), 77);
    EXPECT_EQ(SendMessage(plain, CB_GETITEMDATA, 9, 0), CB_ERR);
}

TEST_F(ComboTest, SelectStringPrefixAndSearchOrder) {
    for (const char16_t *s : {u"Hayes Compatible on COM1:", u"hayes compatible on COM1: x", u"Other"}) add(plain, s);
    // From the entry after the start to the end, then the start itself.
    EXPECT_EQ(SendMessage(plain, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"HAYES compatible on com1:")), 1);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessage(plain, CB_SELECTSTRING, 1, reinterpret_cast<LPARAM>(u"hayes")), 0);
    EXPECT_EQ(SendMessage(plain, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"hayes")), 0);
    EXPECT_EQ(SendMessage(plain, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"Nothing")), CB_ERR);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 0);  // a failed search keeps the selection
    EXPECT_EQ(SendMessage(plain, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"Other longer")), CB_ERR);
    EXPECT_EQ(SendMessage(sorted, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"x")), CB_ERR);
    EXPECT_EQ(selchange_count, 0);
}

TEST_F(ComboTest, EditableBoxTakesTheEntryTextAndTyping) {
    add(editable, u"*99***1#");
    add(editable, u"*99#");
    SendMessage(editable, CB_SETCURSEL, 1, 0);
    WCHAR buf[64];
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"*99#");
    SetWindowText(editable, u"12345");
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"12345");
    SetFocus(editable);
    orvane_platform::input_event e;
    e.type = orvane_platform::input_event::kind::key;
    e.k = orvane_platform::key::character;
    e.ch = U'6';
    orvane_platform::handle_input(e);
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"123456");
    SendMessage(editable, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(GetWindowTextLength(editable), 0);
}

TEST_F(ComboTest, OnlyTheUsersChangesNotify) {
    for (const char16_t *s : {u"a", u"b", u"c"}) add(plain, s);
    SendMessage(plain, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(selchange_count, 0);
    SetFocus(plain);
    press(orvane_platform::key::down);
    EXPECT_EQ(selchange_count, 1);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 1);
    press(orvane_platform::key::up);
    press(orvane_platform::key::up);  // already at the first: no change, no notice
    EXPECT_EQ(selchange_count, 2);
    // Open list: moving the mark changes nothing until Enter.
    press(orvane_platform::key::enter);
    EXPECT_TRUE(SendMessage(plain, CB_GETDROPPEDSTATE, 0, 0));
    press(orvane_platform::key::down);
    press(orvane_platform::key::down);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 0);
    press(orvane_platform::key::enter);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(selchange_count, 3);
    press(orvane_platform::key::enter);
    press(orvane_platform::key::up);
    press(orvane_platform::key::escape);  // closes the list without a change
    EXPECT_FALSE(SendMessage(plain, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(selchange_count, 3);
    EXPECT_FALSE(dialog->ended);
}

TEST_F(ComboTest, TextsStayRightThroughDeletionsInsertionsAndReset) {
    // Enough deletions that the deleted texts are dropped from the shared buffer in between.
    std::vector<std::u16string> model;
    for (int i = 0; i < 200; ++i) {
        std::u16string t = u"entry number " + std::u16string(static_cast<std::size_t>(i % 7), u'x') + char16_t(u'A' + i % 26);
        if (i % 3 == 0) {
            SendMessage(plain, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
            model.insert(model.begin(), t);
        } else {
            add(plain, t.c_str());
            model.push_back(t);
        }
        if (i % 3 != 0) {
            std::size_t at = (static_cast<std::size_t>(i) * 7) % model.size();
            SendMessage(plain, CB_DELETESTRING, at, 0);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    ASSERT_EQ(SendMessage(plain, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i) {
        WCHAR buf[64] = {};
        ASSERT_EQ(SendMessage(plain, CB_GETLBTEXTLEN, i, 0), static_cast<LRESULT>(model[i].size()));
        SendMessage(plain, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
        ASSERT_EQ(std::u16string(buf), model[i]) << i;
    }
    SendMessage(plain, CB_RESETCONTENT, 0, 0);
    add(plain, u"after reset");
    WCHAR buf[64] = {};
    SendMessage(plain, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::u16string(buf), u"after reset");
}
