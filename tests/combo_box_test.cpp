// The platform's combo box, on a dialog of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <vector>

#include "display/headless_display.h"
#include "support/template_builder.h"
#include "support/combo_probe.h"
#include "user/window_core.h"

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
    void type(const std::u32string &text) {
        for (char32_t c : text) key_at(c, 0);
    }
    void key_at(char32_t c, std::uint64_t when) {
        orvane_platform::input_event e;
        e.type = orvane_platform::input_event::kind::key;
        e.k = orvane_platform::key::character;
        e.ch = c;
        e.time_ms = when;
        orvane_platform::handle_input(e);
    }
    void wheel(int steps) {
        orvane_platform::input_event e;
        e.type = orvane_platform::input_event::kind::wheel;
        e.wheel = steps;
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
    // Case beyond ASCII folds the same in every locale.
    for (const char *locale : {"C", "C.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        SendMessage(sorted, CB_RESETCONTENT, 0, 0);
        for (const char16_t *s : {u"\u00C9mile", u"Zeta", u"\u00E9mile", u"\u0394elta"}) add(sorted, s);
        EXPECT_EQ(item(sorted, 0), u"Zeta") << locale;
        EXPECT_EQ(item(sorted, 1), u"\u00C9mile") << locale;
        EXPECT_EQ(item(sorted, 2), u"\u00E9mile") << locale;  // an equal: after the first
        EXPECT_EQ(SendMessage(sorted, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"\u03B4EL")), 3) << locale;
        EXPECT_EQ(SendMessage(sorted, CB_FINDSTRING, 1, reinterpret_cast<LPARAM>(u"\u00E9M")), 2) << locale;
    }
    std::setlocale(LC_ALL, "C");
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
    // A list without an edit field takes as its text only an entry's whole text, in any case.
    EXPECT_EQ(SendMessage(plain, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"OTHER")), TRUE);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessage(plain, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"Oth")), CB_ERR);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(selchange_count, 0);
}

TEST_F(ComboTest, EditableBoxTakesTheEntryTextAndTyping) {
    add(editable, u"*99***1#");
    add(editable, u"*99#");
    SendMessage(editable, CB_SETCURSEL, 1, 0);
    WCHAR buf[64];
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"*99#");
    // The selection follows the text: an entry with the whole text, in any case, or none.
    SetWindowText(editable, u"12345");
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"12345");
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), CB_ERR);
    add(editable, u"Abc");
    SetWindowText(editable, u"aBC");
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), 2);
    SetWindowText(editable, u"*99");
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), CB_ERR);  // a prefix is not the text
    SetFocus(editable);
    type(U"#");
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), 1);  // typed into an entry's text
    type(U"6");
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"*99#6");
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(selchange_count, 0);
    press(orvane_platform::key::down);  // from a typed text: the top of the list
    EXPECT_EQ(SendMessage(editable, CB_GETCURSEL, 0, 0), 0);
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"*99***1#");
    // A click in the edit field puts the caret under it.
    RECT r{};
    GetWindowRect(editable, &r);
    screen.push_click(static_cast<int>(r.left / 4) + 3, static_cast<int>((r.top + 4) / 8));
    orvane_platform::handle_input(screen.wait_event());
    type(U"X");
    GetWindowText(editable, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"*99X***1#");
    SendMessage(editable, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(GetWindowTextLength(editable), 0);
}

TEST_F(ComboTest, ListKeysTypeAheadAndWheel) {
    using orvane_platform::key;
    std::vector<std::u16string> names;
    for (int i = 0; i < 5000; ++i) {
        std::u16string n = i % 2 == 0 ? u"beta " : u"Alpha ";
        for (char c : std::to_string(10000 + i)) n += static_cast<char16_t>(c);
        names.push_back(n);
    }
    names.push_back(u"Bravo");
    for (const auto &n : names) add(plain, n.c_str());
    auto last = static_cast<int>(names.size()) - 1;
    auto sel = [&] { return static_cast<int>(SendMessage(plain, CB_GETCURSEL, 0, 0)); };
    SetFocus(plain);
    // Closed with focus: every move is the user's selection and notifies.
    press(key::end);
    EXPECT_EQ(sel(), last);
    press(key::home);
    EXPECT_EQ(sel(), 0);
    EXPECT_EQ(selchange_count, 2);
    // Type-ahead, case-insensitive: a repeated letter walks on, quick letters make a prefix.
    key_at(U'a', 1000);
    EXPECT_EQ(sel(), 1);
    key_at(U'A', 1100);
    EXPECT_EQ(sel(), 3);
    key_at(U'b', 5000);
    EXPECT_EQ(sel(), 4);
    key_at(U'r', 5100);
    EXPECT_EQ(sel(), last);  // "br"
    key_at(U'b', 9000);  // a second later: a new search, from the entry after the selection
    EXPECT_EQ(sel(), 0);
    int notices = selchange_count;
    // Open: PgUp/PgDn by the list's visible rows, Home/End, letters; Enter chooses.
    press(key::enter);
    const orvane_test::shown_list p = orvane_test::open_list_on(orvane_test::painted(screen));
    EXPECT_EQ(p.top + p.rows, 24 - 1);  // down to the soft-key bar
    press(key::page_down);
    press(key::page_down);
    EXPECT_EQ(orvane_test::combo_marked(screen, plain), 2 * p.rows);
    press(key::page_up);
    EXPECT_EQ(orvane_test::combo_marked(screen, plain), p.rows);
    EXPECT_EQ(orvane_test::combo_top(plain), p.rows);  // the mark stays in view
    press(key::end);
    EXPECT_EQ(orvane_test::combo_marked(screen, plain), last);
    EXPECT_EQ(sel(), 0);
    key_at(U'a', 20000);
    EXPECT_EQ(orvane_test::combo_marked(screen, plain), 1);
    EXPECT_EQ(selchange_count, notices);  // nothing chosen while the list is open
    // The wheel scrolls the shown rows, not the mark.
    EXPECT_EQ(orvane_test::combo_top(plain), 1);
    wheel(2);
    EXPECT_EQ(orvane_test::combo_top(plain), 7);
    wheel(-5);
    EXPECT_EQ(orvane_test::combo_top(plain), 0);
    press(key::enter);
    EXPECT_EQ(sel(), 1);
    EXPECT_EQ(selchange_count, notices + 1);
}

TEST_F(ComboTest, TheOpenListsScrollBarScrollsAndOnlyARowChooses) {
    for (int i = 0; i < 100; ++i) add(plain, (u"entry " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26))).c_str());
    SendMessage(plain, CB_SETCURSEL, 0, 0);
    SetFocus(plain);
    press(orvane_platform::key::enter);
    const orvane_test::shown_list l = orvane_test::open_list_on(orvane_test::painted(screen));
    ASSERT_GT(l.rows, 4);
    int bar = l.col + l.width - 1;
    auto mouse = [&](int col, int row, auto what) {
        screen.push_click(col, row, what);
        orvane_platform::handle_input(screen.wait_event());
    };
    using kind = orvane_platform::input_event::kind;
    mouse(bar, l.top + l.rows - 1, kind::click);  // the down arrow: one entry
    EXPECT_EQ(orvane_test::combo_top(plain), 1);
    mouse(bar, l.top + l.rows - 2, kind::click);  // the track below the thumb: a page
    EXPECT_EQ(orvane_test::combo_top(plain), 1 + l.rows);
    mouse(bar, l.top, kind::click);  // the up arrow
    EXPECT_EQ(orvane_test::combo_top(plain), l.rows);
    // The thumb, dragged to the track's end, shows the last page, and back to its start the first.
    const orvane_platform::cell_grid &g = orvane_test::painted(screen);
    int thumb = l.top + 1;
    while (thumb < l.top + l.rows - 1 && g.at(bar, thumb)->ch != U'\u2588') ++thumb;
    ASSERT_LT(thumb, l.top + l.rows - 1) << g.text();
    mouse(bar, thumb, kind::click);
    mouse(bar, l.top + l.rows - 2, kind::drag);
    EXPECT_EQ(orvane_test::combo_top(plain), 100 - l.rows);
    mouse(bar, 0, kind::drag);
    EXPECT_EQ(orvane_test::combo_top(plain), 0);
    mouse(bar, 0, kind::release);
    mouse(bar, l.top + l.rows - 2, kind::drag);  // let go: no longer held
    EXPECT_EQ(orvane_test::combo_top(plain), 0);
    EXPECT_EQ(SendMessage(plain, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(selchange_count, 0);  // the scroll bar never chose
    mouse(l.col, l.top + 2, kind::click);  // a row: its entry, and the list closes
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessage(plain, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(selchange_count, 1);
    // Open again, a click on another box closes this list and opens that one's; the focus
    // leaving closes a list too.
    add(sorted, u"one");
    press(orvane_platform::key::enter);
    RECT other{};
    GetWindowRect(sorted, &other);
    mouse(static_cast<int>(other.left / 4) + 1, static_cast<int>(other.top / 8), kind::click);
    EXPECT_EQ(SendMessage(plain, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(GetFocus(), sorted);
    EXPECT_EQ(SendMessage(sorted, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    SetFocus(plain);
    EXPECT_EQ(SendMessage(sorted, CB_GETDROPPEDSTATE, 0, 0), FALSE);
}

TEST_F(ComboTest, OpenListWidthScrollMarkAndCells) {
    using orvane_platform::key;
    // Two long entries that differ only after the field's width, a wide and a combining one.
    add(plain, u"Andorra Telecom (Mobiland) (Mobiland Internet)");
    add(plain, u"Andorra Telecom (Mobiland) (Mobiland MMS)");
    add(plain, u"\u4E2D\u56FD\u79FB\u52A8 CMNET");
    add(plain, u"Cafe\u0301 M");
    for (int i = 0; i < 30; ++i) add(plain, u"x");
    SendMessage(plain, CB_SETCURSEL, 2, 0);
    SetFocus(plain);
    const orvane_platform::cell_grid *g = &orvane_test::painted(screen);
    int row = 0;
    while (row < g->rows && g->at(0, row)->ch != U'\u4E2D') ++row;
    ASSERT_LT(row, g->rows) << g->text();
    // The wide characters take two cells each; the field's highlight is one block.
    EXPECT_EQ(g->at(0, row)->ch, U'\u4E2D');
    EXPECT_EQ(g->at(1, row)->ch, 0u);
    EXPECT_EQ(g->at(6, row)->ch, U'\u52A8');
    EXPECT_EQ(g->at(8, row)->ch, U'\u2026');  // the cut shows
    EXPECT_EQ(g->at(9, row)->ch, U'v');
    for (int c = 0; c < 10; ++c) EXPECT_NE(g->at(c, row)->attr & orvane_platform::attr_field, 0) << c;
    EXPECT_EQ(g->cursor_row, row);  // the cursor stands on the focused box
    press(key::enter);
    g = &orvane_test::painted(screen);
    const orvane_test::shown_list p = orvane_test::open_list_on(*g);
    EXPECT_EQ(p.top, row + 1);  // below its box
    EXPECT_EQ(p.width, 40);  // as wide as the screen allows
    EXPECT_EQ(p.col, 0);
    std::string first = g->row_text(p.top);
    std::string second = g->row_text(p.top + 1);
    EXPECT_EQ(first.substr(0, 41), "Andorra Telecom (Mobiland) (Mobiland I\xE2\x80\xA6");
    EXPECT_EQ(second.substr(0, 41), "Andorra Telecom (Mobiland) (Mobiland M\xE2\x80\xA6");
    // The combining mark shares the cell of its letter.
    EXPECT_EQ(g->row_text(p.top + 3).substr(0, 9), "Cafe\xCC\x81 M ");
    EXPECT_EQ(g->at(5, p.top + 3)->ch, U'M');
    EXPECT_EQ(g->cursor_row, p.top + 2);  // on the marked entry
    EXPECT_EQ(g->at(39, p.top)->ch, U' ');  // at the top: no arrow up
    EXPECT_EQ(g->at(39, p.top + p.rows - 1)->ch, U'\u25BC');  // more below
    // A list of two and of three rows: the arrow at the bottom, the thumb between when there is room.
    for (int rows : {2, 3}) {
        screen.resize(40, p.top + rows + 1);
        orvane_platform::handle_input(screen.wait_event());
        g = &orvane_test::painted(screen);
        EXPECT_EQ(orvane_test::open_list_on(*g).rows, rows);
        EXPECT_EQ(g->at(39, p.top + rows - 1)->ch, U'\u25BC') << rows;
        EXPECT_EQ(g->at(39, p.top + 1)->ch, rows == 3 ? U'\u2588' : U'\u25BC') << rows;
    }
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

TEST_F(ComboTest, StorageInsertionDeletionAndReset) {
    // Room asked for first; an impossible amount is refused and changes nothing.
    EXPECT_GE(SendMessage(plain, CB_INITSTORAGE, 150, 150 * 40), 150);
    EXPECT_EQ(SendMessage(plain, CB_INITSTORAGE, static_cast<WPARAM>(-1) / 2, 0), CB_ERRSPACE);
    for (const char16_t *s : {u"b", u"c", u"d"}) add(plain, s);
    SendMessage(plain, CB_SETCURSEL, 1, 0);  // "c"
    EXPECT_EQ(SendMessage(plain, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"a")), 0);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 2);  // the selection moves with its entry
    EXPECT_EQ(SendMessage(plain, CB_DELETESTRING, 1, 0), 3);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), 1);
    WCHAR buf[8] = {};
    SendMessage(plain, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::u16string(buf), u"c");
    EXPECT_EQ(SendMessage(plain, CB_GETLBTEXTLEN, 2, 0), 1);
    SendMessage(plain, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(plain, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(plain, CB_GETCURSEL, 0, 0), CB_ERR);
}

// The open list is as wide as its widest entry at each opening, whatever was added, deleted or
// emptied since it was last open, and while it is open; and never narrower than its field.
TEST_F(ComboTest, TheOpenListFollowsItsEntriesWidth) {
    using orvane_platform::key;
    add(plain, u"ab");
    SetFocus(plain);
    auto opened_width = [&] {
        press(key::enter);
        int width = orvane_test::open_list_on(orvane_test::painted(screen)).width;
        press(key::escape);
        return width;
    };
    const int field = opened_width();
    const std::u16string wide(24, u'w');
    add(plain, wide.c_str());
    const int with_wide = opened_width();
    EXPECT_GT(with_wide, field);
    SendMessage(plain, CB_DELETESTRING, 1, 0);
    EXPECT_EQ(opened_width(), field);
    add(plain, wide.c_str());
    EXPECT_EQ(opened_width(), with_wide);
    SendMessage(plain, CB_RESETCONTENT, 0, 0);
    add(plain, u"ab");
    EXPECT_EQ(opened_width(), field);
    // Added while open: the list grows at once.
    press(key::enter);
    add(plain, (wide + u"www").c_str());
    EXPECT_EQ(orvane_test::open_list_on(orvane_test::painted(screen)).width, with_wide + 3);
}
