// The dialog in process, on the headless display.
#include "app/connection_dialog.h"

#include <cfgmgrapi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/relayout.h"
#include "config/connection_store.h"
#include "common/utf.h"
#include "config/provisioning.h"
#include "telephony/modem_config.h"
#include "display/headless_display.h"
#include "resources/resource.h"
#include "support/dialog_fixture.h"
#include "support/template_builder.h"
#include "support/test_support.h"
#include "support/combo_probe.h"
#include "user/window_core.h"

using namespace orvane_test;
using orvane_platform::headless_display;
using orvane_platform::key;

namespace {

struct rect {
    int x, y, w, h;
    bool operator==(const rect &) const = default;
};

const std::map<int, rect> portrait = {
    {1013, {2, 0, 110, 8}},  {1014, {2, 9, 145, 14}},  {1004, {2, 23, 109, 8}},  {1003, {2, 31, 145, 85}},
    {1001, {2, 45, 108, 8}}, {1000, {2, 53, 145, 85}}, {1007, {2, 68, 70, 8}},   {1008, {2, 76, 70, 13}},
    {1011, {79, 68, 70, 8}}, {1012, {79, 76, 70, 13}}, {1005, {2, 90, 67, 8}},   {1002, {2, 98, 69, 13}},
    {1006, {79, 90, 70, 8}}, {1009, {80, 98, 68, 85}},
};
const std::map<int, rect> landscape = {
    {1013, {1, 1, 100, 8}},    {1014, {1, 10, 102, 12}},  {1004, {106, 2, 100, 8}},  {1003, {106, 10, 102, 85}},
    {1001, {1, 23, 97, 8}},    {1000, {1, 31, 135, 85}},  {1007, {67, 46, 70, 8}},   {1008, {67, 54, 70, 12}},
    {1011, {139, 46, 70, 8}},  {1012, {139, 54, 70, 12}}, {1005, {1, 46, 62, 8}},    {1002, {1, 54, 64, 12}},
    {1006, {139, 24, 70, 8}},  {1009, {140, 32, 68, 85}},
};

rect rect_of(HWND w) { return {w->rect.left, w->rect.top, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}; }

}  // namespace

TEST_F(DialogTest, BuiltFromThePortraitTemplate) {
    CDialog missing(9999);  // no such template: neither made nor run
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_EQ(missing.m_hWnd, nullptr);
    HWND w = open();
    ASSERT_EQ(w->children.size(), 14u);
    for (const auto &[id, r] : portrait) {
        HWND c = GetDlgItem(w, id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(rect_of(c), r) << id;
    }
    EXPECT_EQ(GetDlgItem(w, 1003)->style & 0x1FFu, CBS_DROPDOWNLIST | CBS_SORT);
    EXPECT_EQ(GetDlgItem(w, 1000)->style & 0x1FFu, CBS_DROPDOWNLIST);
    EXPECT_EQ(GetDlgItem(w, 1009)->style & 0x1FFu, CBS_DROPDOWN);
    EXPECT_NE(GetDlgItem(w, 1012)->style & ES_PASSWORD, 0u);
    for (DWORD bit : {DWORD{WS_TABSTOP}, DWORD{WS_BORDER}, DWORD{ES_AUTOHSCROLL}}) {
        EXPECT_EQ(GetDlgItem(w, 1014)->style & bit, bit) << std::hex << bit;
    }
    EXPECT_EQ(GetDlgItem(w, 1013)->type, HWND__::kind::statik);
    EXPECT_EQ(GetDlgItem(w, 1014)->type, HWND__::kind::edit);
    EXPECT_EQ(GetDlgItem(w, 1003)->type, HWND__::kind::combo);
    EXPECT_NE(w->exstyle & WS_EX_CAPTIONOKBTN, 0u);
    EXPECT_NE(w->icons[0], nullptr);
    EXPECT_EQ(w->icons[0], w->icons[1]);
    // Tab order follows template 102; focus starts on the name field.
    EXPECT_EQ(GetFocus(), GetDlgItem(w, 1014));
    std::vector<int> order;
    for (HWND c : w->children) {
        if ((c->style & WS_TABSTOP) != 0) order.push_back(c->id);
    }
    EXPECT_EQ(order, (std::vector<int>{1014, 1003, 1000, 1008, 1012, 1002, 1009}));
}

TEST_F(DialogTest, InitialisationFillsTheFields) {
    HWND w = open();
    EXPECT_EQ(text_of(w), u"Orvane Connection Manager");
    EXPECT_EQ(text_of(GetDlgItem(w, 1013)), u"Connection Name");
    EXPECT_EQ(text_of(GetDlgItem(w, 1001)), u"Operator Name");
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"Connection");
    EXPECT_EQ(text_of(GetDlgItem(w, 1003)), u"Hayes Compatible on COM1:");
    EXPECT_EQ(text_of(GetDlgItem(w, 1000)), u"[Custom]");
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"*99***1#");
    EXPECT_EQ(static_cast<std::size_t>(orvane_test::combo_count(GetDlgItem(w, 1009))), 3u);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"");
    ASSERT_NE(w->menu_bar, nullptr);
    ASSERT_EQ(w->menu_bar->menu->items.size(), 2u);
    EXPECT_EQ(w->menu_bar->menu->items[0].text, u"Create");
    EXPECT_EQ(w->menu_bar->menu->items[0].id, static_cast<UINT_PTR>(IDM_CREATE));
    EXPECT_EQ(w->menu_bar->menu->items[1].text, u"Exit");
    std::string s = screen_text();
    EXPECT_NE(s.find(" Orvane Connection Manager           ok"), std::string::npos) << s;
    // Each soft key with its key, as a handheld prints it under the label.
    EXPECT_NE(s.find("\n F1 Create                      Exit F2 \n"), std::string::npos) << s;
}

TEST_F(DialogTest, ModemsSortedHayesChosenAndFreeNameProposed) {
    device.write_profile(
        "[[modem]]\nname = \"Modem B\"\ntype = 2\n[[modem]]\nname = \"Hayes Compatible on COM1:\"\ntype = 1\n");
    std::filesystem::create_directories(device.folder());
    for (const char *n : {"Connection", "Connection 1"}) {
        ASSERT_GE(orvane_platform::process_provisioning_document(u16(provisioning_doc(provisioning_entry(n)))), 0);
    }
    HWND w = open();
    HWND modems = GetDlgItem(w, 1003);
    ASSERT_EQ(static_cast<std::size_t>(orvane_test::combo_count(modems)), 2u);
    EXPECT_EQ(orvane_test::combo_entry(modems, 0), u"Hayes Compatible on COM1:");
    EXPECT_EQ(orvane_test::combo_selected(modems), 0);
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"Connection 2");
    // Typing stops at 20 characters.
    SetFocus(GetDlgItem(w, 1014));
    type(U"-abcdefghijklmnop");
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"Connection 2-abcdefg");
}

TEST_F(DialogTest, TheHayesModemWhereverItSortsElseTheFirstByName) {
    device.write_profile("[[modem]]\nname = \"Zulu\"\ntype = 2\n[[modem]]\nname = \"Hayes Compatible on COM1:\"\n"
                         "type = 1\n[[modem]]\nname = \"Alpha\"\ntype = 3\n");
    HWND w = open();
    EXPECT_EQ(text_of(GetDlgItem(w, 1003)), u"Hayes Compatible on COM1:");
    EXPECT_EQ(orvane_test::combo_selected(GetDlgItem(w, 1003)), 1);
    dialog.reset();
    orvane_platform::clear_window_system();
    device.write_profile("[[modem]]\nname = \"Zulu\"\ntype = 2\n[[modem]]\nname = \"bravo\"\ntype = 1\n");
    w = open();
    EXPECT_EQ(text_of(GetDlgItem(w, 1003)), u"bravo");
}

TEST_F(DialogTest, NoTelephonyLeavesTheModemBoxEmpty) {
    device.fail("[\"lineInitializeEx\"]");
    HWND w = open();
    EXPECT_TRUE((orvane_test::combo_count(GetDlgItem(w, 1003)) == 0));
    EXPECT_EQ(orvane_test::combo_selected(GetDlgItem(w, 1003)), -1);
    EXPECT_TRUE(orvane_platform::windows().boxes_shown.empty());
    key_press(key::f1);
    ASSERT_EQ(orvane_platform::windows().boxes_shown.size(), 1u);
    EXPECT_EQ(orvane_platform::windows().boxes_shown[0].text, u"Could not create connection");
    EXPECT_EQ(orvane_platform::windows().boxes_shown[0].type, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(DialogTest, OperatorsFromTheFileAndSelectionCopiesThePreset) {
    write_utf16(beside_self(".xml"),
                u"<root><op Name=\"Alpha\" User=\"a\" Pwd=\"pa\" Apn=\"alpha.net\" Phone=\"*99#\"/>"
                u"<op Name=\"Beta\" User=\"b\" Apn=\"beta.net\" Phone=\"#777\"/></root>",
                bom::with);
    HWND w = open();
    HWND ops = GetDlgItem(w, 1000);
    ASSERT_EQ(static_cast<std::size_t>(orvane_test::combo_count(ops)), 2u);
    EXPECT_EQ(orvane_test::combo_entry(ops, 1), u"Beta");
    EXPECT_EQ(SendMessage(ops, CB_GETITEMDATA, 1, 0), 1);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"alpha.net");
    EXPECT_EQ(text_of(GetDlgItem(w, 1008)), u"a");
    EXPECT_EQ(text_of(GetDlgItem(w, 1012)), u"pa");
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"*99***1#");  // the phone box's own first entry
    SetFocus(ops);
    key_press(key::down);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"beta.net");
    EXPECT_EQ(text_of(GetDlgItem(w, 1012)), u"");
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"#777");
    // The password field shows stars, not the text: one a character, an emoji's two units too.
    SetDlgItemText(w, 1012, u"secret\U0001F600");
    EXPECT_NE(screen_text().find("******* "), std::string::npos);
    EXPECT_EQ(screen_text().find("********"), std::string::npos);
    EXPECT_EQ(screen_text().find("secret"), std::string::npos);
}

// A modem's simulated SIM chooses its operator at the start, fields and all; another modem
// chooses again (the first preset without a SIM), until the user changes a field.
TEST_F(DialogTest, TheModemsSimChoosesTheOperatorUntilTheUserChangesSomething) {
    device.write_profile("[[modem]]\nname = \"Hayes Compatible on COM1:\"\nsim = { operator = \"00101\", name = \"beta\" }\n"
                         "[[modem]]\nname = \"Plain\"\n");
    write_utf16(beside_self(".xml"),
                u"<root><op Name=\"Alpha\" User=\"a\" Apn=\"alpha.net\" Phone=\"*99#\"/>"
                u"<op Name=\"Zeta\" Apn=\"zeta.net\" Phone=\"*99#\" Networks=\"00101\" Primary=\"1\"/>"
                u"<op Name=\"Beta\" User=\"b\" Apn=\"beta.net\" Phone=\"#777\" Networks=\"00101\"/></root>",
                bom::with);
    HWND w = open();
    HWND modems = GetDlgItem(w, 1003);
    HWND ops = GetDlgItem(w, 1000);
    // The provider name, in another case, picks Beta over the primary Zeta.
    EXPECT_EQ(orvane_test::combo_selected(ops), 2);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"beta.net");
    EXPECT_EQ(text_of(GetDlgItem(w, 1008)), u"b");
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"#777");
    SetFocus(modems);
    key_press(key::down);
    EXPECT_EQ(text_of(modems), u"Plain");
    EXPECT_EQ(orvane_test::combo_selected(ops), 0);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"alpha.net");
    key_press(key::up);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"beta.net");
    // A field the user changed stays through another modem, and so does the operator.
    SetFocus(GetDlgItem(w, 1008));
    type(U"x");
    SetFocus(modems);
    key_press(key::down);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"beta.net");
    EXPECT_EQ(text_of(GetDlgItem(w, 1008)), u"bx");
    EXPECT_EQ(orvane_test::combo_selected(ops), 2);
    // The SIM's preset first in the box: chosen too, its phone number and all.
    dialog.reset();
    orvane_platform::clear_window_system();
    device.write_profile("[[modem]]\nname = \"Hayes Compatible on COM1:\"\nsim = { operator = \"00102\" }\n");
    write_utf16(beside_self(".xml"), u"<root><op Name=\"Alpha\" Apn=\"alpha.net\" Phone=\"*99#\" Networks=\"00102\"/></root>",
                bom::with);
    w = open();
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"*99#");
}

TEST_F(DialogTest, AtTheTerminalsLimitsCutsShowAndSoftKeysKeepApart) {
    open();
    resize(20, 24);
    std::string s = screen_text();
    EXPECT_NE(s.find("\n F1 Crea\xE2\x80\xA6   Exit F2 \n"), std::string::npos) << s;
    EXPECT_NE(s.find(" Orvane Connec\xE2\x80\xA6  ok \n"), std::string::npos) << s;
    // A terminal that cannot draw the cut mark or the list's scroll marks gets ASCII.
    EXPECT_EQ(orvane_platform::ascii_stand_in(U'\u2026'), U'~');
    EXPECT_EQ(orvane_platform::ascii_stand_in(U'\u25BC'), U'v');
    EXPECT_EQ(orvane_platform::ascii_stand_in(U'\u2502'), U'|');
    EXPECT_EQ(orvane_platform::ascii_stand_in(U'x'), 0u);
}

TEST_F(DialogTest, RelayoutMovesEverythingAndKeepsState) {
    write_utf16(beside_self(".xml"), u"<root><op Name=\"Alpha\" Apn=\"x\"/><op Name=\"Beta\" Apn=\"y\"/></root>");
    HWND w = open();
    SendDlgItemMessage(w, 1000, CB_SETCURSEL, 1, 0);
    SetDlgItemText(w, 1002, u"edited apn");
    SetDlgItemText(w, 1008, u"edited user");
    SetFocus(GetDlgItem(w, 1009));
    type(U"#5");  // a typed phone number, no entry of the box: it has no selection to restore
    SetFocus(GetDlgItem(w, 1008));
    resize(80, 24);  // landscape
    EXPECT_EQ(text_of(GetDlgItem(w, 1009)), u"*99***1##5");
    for (const auto &[id, r] : landscape) EXPECT_EQ(rect_of(GetDlgItem(w, id)), r) << id;
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"edited apn");  // no selection notification copied a preset
    EXPECT_EQ(text_of(GetDlgItem(w, 1008)), u"edited user");
    EXPECT_EQ(orvane_test::combo_selected(GetDlgItem(w, 1000)), 1);
    EXPECT_EQ(orvane_test::combo_selected(GetDlgItem(w, 1003)), 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(w, 1008));
    EXPECT_EQ(text_of(GetDlgItem(w, 1013)), u"Connection Name");
    EXPECT_EQ(text_of(GetDlgItem(w, 1001)), u"Operator Name");
    resize(40, 40);  // portrait again
    for (const auto &[id, r] : portrait) EXPECT_EQ(rect_of(GetDlgItem(w, id)), r) << id;
    EXPECT_EQ(text_of(GetDlgItem(w, 1013)), u"Connection Name");
    resize(30, 60);  // a square screen of 120 x 120 pixels is landscape
    resize(30, 15);
    EXPECT_EQ(rect_of(GetDlgItem(w, 1003)), landscape.at(1003));
}

TEST_F(DialogTest, NoTwoControlsOverlapInEitherLayout) {
    // The windows made from the resources, in the cells the painter puts them.
    HWND w = open();
    for (auto [columns, rows] : {std::pair{40, 24}, std::pair{80, 24}}) {
        resize(columns, rows);
        std::map<std::pair<int, int>, int> owner;
        for (HWND c : w->children) {
            RECT r = orvane_platform::window_rect_on_screen(c);
            int row = (r.top + 4) / 8;
            int col = (r.left + 2) / 4;
            int width = std::max(1, static_cast<int>((r.right - r.left + 2) / 4));
            EXPECT_LE(col + width, columns) << c->id;
            EXPECT_LT(row, rows - 1) << c->id;
            for (int x = col; x < col + width; ++x) {
                auto [it, fresh] = owner.emplace(std::make_pair(row, x), c->id);
                EXPECT_TRUE(fresh) << c->id << " overlaps " << it->second << " at row " << row << " column " << x;
            }
        }
        EXPECT_EQ(owner.size() > 100, true);
    }
}

TEST_F(DialogTest, CreateStoresAndEndsRefusalKeepsTheFields) {
    HWND w = open();
    SetDlgItemText(w, 1014, u"  Work  ");
    SetDlgItemText(w, 1012, u"pw ");
    SetDlgItemText(w, 1002, u" web.apn ");
    key_press(key::f1);
    auto &ws = orvane_platform::windows();
    ASSERT_EQ(ws.boxes_shown.size(), 1u);
    EXPECT_EQ(ws.boxes_shown[0].text, u"Connection created successfully");
    EXPECT_EQ(ws.boxes_shown[0].caption, u"Orvane Connection Manager");
    EXPECT_EQ(ws.boxes_shown[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(orvane_platform::pump_messages());  // the quit message ends the loop
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    auto e = store.find("Work");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "Work");
    std::map<std::string, std::string> parms(e->parms.begin(), e->parms.end());
    EXPECT_EQ(parms["Password"], "pw ");
    EXPECT_EQ(parms["Domain"], "");

    ws.boxes_shown.clear();
    SetDlgItemText(w, 1014, u"work");
    key_press(key::f1);
    ASSERT_EQ(ws.boxes_shown.size(), 1u);
    EXPECT_EQ(ws.boxes_shown[0].text, u"Connection with such name already exists");
    EXPECT_EQ(ws.boxes_shown[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(orvane_platform::pump_messages());  // the dialog stays
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"work");
    EXPECT_EQ(text_of(GetDlgItem(w, 1012)), u"pw ");
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u" web.apn ");
}

TEST_F(DialogTest, ExitAndCancelEndTheLoop) {
    HWND w = open();
    key_press(key::f2);
    EXPECT_FALSE(orvane_platform::pump_messages());
    key_press(key::escape);
    EXPECT_TRUE(w->ended);
    EXPECT_EQ(w->result, IDCANCEL);
}

TEST_F(DialogTest, RelayoutReadingRules) {
    HWND w = open();
    orvane_test::template_builder ok;
    ok.header(2);
    ok.item(1013, 5, 1, 0x82, u"Label");
    ok.item(1014, 7, 1, 0x81, u"");
    EXPECT_TRUE(orvane_cr::relayout_dialog_from(ok.bytes.data(), static_cast<DWORD>(ok.bytes.size()), nullptr, w));
    EXPECT_EQ(GetDlgItem(w, 1013)->rect.left, 5);
    EXPECT_EQ(text_of(GetDlgItem(w, 1013)), u"Label");  // static titles are written back
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"Connection");

    // Two placed items without an identifier make it fail; one is fine. The dialog needs
    // such a control for the items to be placed at all.
    orvane_test::template_builder plain;
    plain.header(1);
    plain.item(0xFFFF, 0, 0, 0x82, u"label");
    HWND other = orvane_platform::create_dialog_from_bytes(plain.bytes.data(), plain.bytes.size(), nullptr,
                                                           [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return TRUE; }, 0);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(orvane_cr::relayout_dialog_from(plain.bytes.data(), static_cast<DWORD>(plain.bytes.size()), nullptr, other));
    orvane_test::template_builder two;
    two.header(2);
    two.item(0xFFFF, 1, 1, 0x82, u"a");
    two.item(0xFFFF, 1, 1, 0x82, u"b");
    EXPECT_FALSE(orvane_cr::relayout_dialog_from(two.bytes.data(), static_cast<DWORD>(two.bytes.size()), nullptr, other));
    HWND placed = GetDlgItem(other, 0xFFFF);
    EXPECT_EQ(placed->rect.left, 1);  // placed all the same
    SendMessage(placed, WM_GETTEXTLENGTH, 0, 0);
    DestroyWindow(placed);
    EXPECT_EQ(SendMessage(placed, WM_GETTEXTLENGTH, 0, 0), 0);  // a window just messaged, now gone
    DestroyWindow(other);

    orvane_test::template_builder missing;
    missing.header(1);
    missing.item(4242, 1, 1, 0x82, u"a");
    EXPECT_FALSE(
        orvane_cr::relayout_dialog_from(missing.bytes.data(), static_cast<DWORD>(missing.bytes.size()), nullptr, w));
    // Cut short: the items that were read are placed, nothing past the end is read.
    orvane_test::template_builder cut;
    cut.header(2);
    cut.item(1013, 9, 1, 0x82, u"Cut");
    cut.item(1014, 9, 1, 0x81, u"");
    EXPECT_FALSE(orvane_cr::relayout_dialog_from(cut.bytes.data(), static_cast<DWORD>(cut.bytes.size() - 6), nullptr, w));
    EXPECT_EQ(GetDlgItem(w, 1013)->rect.left, 9);
    EXPECT_FALSE(orvane_cr::relayout_dialog(AfxGetResourceHandle(), w, 999));
    EXPECT_TRUE(orvane_cr::relayout_dialog(AfxGetResourceHandle(), w, IDD_CONNECTION_LANDSCAPE));
}

TEST_F(DialogTest, AllNinetyNineNamesTakenGivesTheLastUntested) {
    std::string entries;
    for (int i = 0; i <= 99; ++i) {  // "Connection 99" too: it is proposed untested
        entries += provisioning_entry(i == 0 ? "Connection" : "Connection " + std::to_string(i));
    }
    ASSERT_GE(orvane_platform::process_provisioning_document(u16(provisioning_doc(entries))), 0);
    HWND w = open();
    EXPECT_EQ(text_of(GetDlgItem(w, 1014)), u"Connection 99");
}

TEST_F(DialogTest, TypeAheadAndPagingInALongListChooseThePresetThatIsStored) {
    std::u16string ops = u"<root>";
    for (int i = 0; i < 5000; ++i) {
        std::u16string n = u16(std::to_string(100000 + i));
        ops += u"<op Name=\"" + (i == 4321 ? u"Zeta Net" : u"Op " + n) + u"\" User=\"" + n + u"\" Apn=\"apn" + n +
               u"\" Phone=\"*99#\"/>";
    }
    write_utf16(beside_self(".xml"), ops + u"</root>");
    HWND w = open();
    HWND box = GetDlgItem(w, 1000);
    ASSERT_EQ(static_cast<std::size_t>(orvane_test::combo_count(box)), 5000u);
    SetFocus(box);
    key_press(key::enter);  // the page is what the open list shows
    const int page = orvane_test::open_list_on(orvane_test::painted(screen)).rows;
    ASSERT_GT(page, 1);
    key_press(key::escape);
    key_press(key::page_down);  // closed: a page on, chosen at once
    EXPECT_EQ(orvane_test::combo_selected(box), page);
    EXPECT_EQ(text_of(GetDlgItem(w, 1008)), u16(std::to_string(100000 + page)));
    type(U"z");
    EXPECT_EQ(orvane_test::combo_selected(box), 4321);
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"apn104321");
    // A typed APN survives clicks on the open list's scroll bar: they scroll, never choose.
    SetFocus(GetDlgItem(w, 1002));
    type(U"-mine");
    SetFocus(box);
    key_press(key::enter);
    const orvane_test::shown_list bar = orvane_test::open_list_on(orvane_test::painted(screen));
    for (int row : {bar.top + bar.rows - 1, bar.top + bar.rows - 2, bar.top}) {
        screen.push_click(bar.col + bar.width - 1, row);
        orvane_platform::handle_input(screen.wait_event());
    }
    EXPECT_EQ(text_of(GetDlgItem(w, 1002)), u"apn104321-mine");
    EXPECT_EQ(orvane_test::combo_selected(box), 4321);
    key_press(key::escape);
    key_press(key::enter);  // open: End, a turn of the screen and back, then PgUp twice and Enter
    key_press(key::end);
    // Marked on the list's last row; the landscape screen shows fewer rows below the box.
    resize(80, 14);
    // The marked entry stays marked, in view and under the cursor through the re-layout.
    EXPECT_EQ(orvane_test::combo_marked(screen, box), 4999);
    const orvane_test::shown_list shown = orvane_test::open_list_on(orvane_test::painted(screen));
    EXPECT_LT(shown.rows, page);
    EXPECT_LE(orvane_test::combo_top(box), 4999);
    EXPECT_LT(4999, orvane_test::combo_top(box) + shown.rows);
    EXPECT_EQ(orvane_test::painted(screen).cursor_row, shown.top + 4999 - orvane_test::combo_top(box));
    resize(40, 24);
    key_press(key::page_up);
    key_press(key::page_up);
    key_press(key::enter);
    int chosen = 4999 - 2 * page;
    ASSERT_EQ(orvane_test::combo_selected(box), chosen);
    SetDlgItemText(w, 1014, u"Long list");
    key_press(key::f1);
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    auto e = store.find("Long list");
    ASSERT_TRUE(e);
    std::map<std::string, std::string> parms(e->parms.begin(), e->parms.end());
    EXPECT_EQ(parms["UserName"], std::to_string(100000 + chosen));
}

TEST_F(DialogTest, MessageBoxWrapsByCells) {
    open();
    // Forty wide characters take eighty cells: every one of them is shown, none cut off.
    std::u16string text;
    for (int i = 0; i < 40; ++i) text += static_cast<char16_t>(0x4E00 + i);
    screen.push_key(key::enter);
    MessageBox(nullptr, text.c_str(), u"T", MB_OK);
    std::string shown = screen.last_frame().text();
    for (int i = 0; i < 40; ++i) {
        std::u16string one(1, static_cast<char16_t>(0x4E00 + i));
        EXPECT_NE(shown.find(orvane_platform::to_utf8(one)), std::string::npos) << i << "\n" << shown;
    }
    // The title stands on the box's top line, a space before the text's column.
    screen.push_key(key::enter);
    MessageBox(nullptr, u"abc", u"Title", MB_OK);
    const orvane_platform::cell_grid &g = screen.last_frame();
    int title_row = -1, title_col = -1, text_row = -1, text_col = -1;
    for (int r = 0; r < g.rows; ++r) {
        std::string row = g.row_text(r);
        if (auto c = row.find("Title"); c != std::string::npos && title_row < 0) title_row = r, title_col = static_cast<int>(c);
        if (auto c = row.find("abc"); c != std::string::npos && text_row < 0) text_row = r, text_col = static_cast<int>(c);
    }
    ASSERT_GE(title_row, 0) << g.text();
    EXPECT_EQ(text_row, title_row + 1) << g.text();
    EXPECT_EQ(title_col, text_col + 1) << g.text();
}

TEST_F(DialogTest, WhiteSpaceTrimmedFromNameApnAndPhoneOnly) {
    HWND w = open();
    const std::u16string ws = u" \t\r\n\v\f";
    const std::u16string xml_ws = u" \t\r\n";  // the white space a document can carry
    SetDlgItemText(w, 1014, (ws + u"Spaced" + ws).c_str());
    SetDlgItemText(w, 1002, (ws + u"web" + ws).c_str());
    SetDlgItemText(w, 1008, (xml_ws + u"user" + xml_ws).c_str());
    SetDlgItemText(w, 1012, (xml_ws + u"pw" + xml_ws).c_str());
    SetDlgItemText(w, 1009, (ws + u"12345" + ws).c_str());
    key_press(key::f1);
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    auto e = store.find("Spaced");
    ASSERT_TRUE(e);
    std::map<std::string, std::string> parms(e->parms.begin(), e->parms.end());
    EXPECT_EQ(parms["Phone"], "12345");  // a typed number, used as typed once trimmed
    EXPECT_EQ(parms["UserName"], u8(xml_ws + u"user" + xml_ws));
    EXPECT_EQ(parms["Password"], u8(xml_ws + u"pw" + xml_ws));
    auto block = orvane_platform::decode_modem_config_hex(parms["DeviceSpecificRAW"]);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->dial_modifier, u"+CGDCONT=1,\"IP\",\"web\"");
}

// Selecting with Shift and the mouse, select-all and a paste, as users paste APNs and passwords.
TEST_F(DialogTest, SelectionPasteAndSelectAllInTheFields) {
    HWND w = open();
    HWND apn = GetDlgItem(w, 1002);
    SetFocus(apn);
    type(U"abc");
    orvane_platform::input_event e;
    e.type = orvane_platform::input_event::kind::key;
    e.k = key::left;
    e.shift = true;
    orvane_platform::handle_input(e);
    orvane_platform::handle_input(e);
    type(U"X");  // the selection "bc" replaced
    EXPECT_EQ(text_of(apn), u"aX");
    key_press(key::select_all);
    e.k = key::paste;
    e.shift = false;
    e.text = U"  web.\tapn\r\nsecond line";
    orvane_platform::handle_input(e);  // the first line, without its break or tab, in place of all
    key_press(key::right);  // at the end already: stays there
    type(U"!\U0001F600");
    key_press(key::left);  // over the emoji's two units at once, both ways
    key_press(key::right);
    type(U"x");
    EXPECT_EQ(text_of(apn), u"  web.apn!\U0001F600x");
    // Every line break Unicode names ends the pasted line.
    for (char32_t line_break : {U'\n', U'\r', U'\u0085', U'\u2028', U'\u2029'}) {
        key_press(key::select_all);
        e.text = std::u32string(U"first") + line_break + U"second";
        orvane_platform::handle_input(e);
        EXPECT_EQ(text_of(apn), u"first") << static_cast<unsigned>(line_break);
    }
    // Past the typing limit a paste is cut, never inside a surrogate pair.
    HWND name = GetDlgItem(w, 1014);
    SetFocus(name);
    key_press(key::select_all);
    e.text = U"Nineteen characters\U0001F600z";
    orvane_platform::handle_input(e);
    EXPECT_EQ(text_of(name), u"Nineteen characters");
    // A drag across the start of the name selects it; typing replaces what it covers.
    RECT r = orvane_platform::window_box(name, screen.screen());
    auto col = static_cast<int>(r.left);
    auto row = static_cast<int>(r.top);
    for (auto [x, what] : {std::pair{col, orvane_platform::input_event::kind::click},
                           std::pair{col + 8, orvane_platform::input_event::kind::drag},
                           std::pair{col + 8, orvane_platform::input_event::kind::release}}) {
        screen.push_click(x, row, what);
        orvane_platform::handle_input(screen.wait_event());
    }
    type(U"Twenty");
    EXPECT_EQ(text_of(name), u"Twenty characters");
}

TEST_F(DialogTest, CaptionOkAndExitStoreNothingAndAskNothing) {
    HWND w = open();
    screen.push_click(38, 0);  // "ok" in the title bar
    orvane_platform::handle_input(screen.wait_event());
    EXPECT_TRUE(w->ended);
    EXPECT_EQ(w->result, IDOK);
    open();
    key_press(key::f2);
    EXPECT_FALSE(orvane_platform::pump_messages());
    EXPECT_TRUE(orvane_platform::windows().boxes_shown.empty());
    EXPECT_FALSE(orvane_platform::connection_store::exists());
}

TEST_F(DialogTest, TheBlockIsTheOneReadWhenTheDialogOpened) {
    HWND w = open();
    // Hardware changed while the dialog is open does not reach the entry it creates.
    device.write_profile("[[modem]]\nname = \"Hayes Compatible on COM1:\"\ntype = 1\ndial_modifier = \"LATER\"\n");
    SetDlgItemText(w, 1014, u"a/b");
    key_press(key::f1);  // refused
    SetDlgItemText(w, 1014, u"First");
    SetDlgItemText(w, 1002, u"");
    key_press(key::f1);
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    auto e = store.find("First");
    ASSERT_TRUE(e);
    std::map<std::string, std::string> parms(e->parms.begin(), e->parms.end());
    auto block = orvane_platform::decode_modem_config_hex(parms["DeviceSpecificRAW"]);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->dial_modifier, u"");
}
