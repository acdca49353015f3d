// The table is built once per process, so this program drives one run of it in order.
#include "text/uistrings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "provisioning/ui_exception.h"
#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

struct language_file_guard {
    std::filesystem::path path = beside_self(".lng");
    ~language_file_guard() { std::filesystem::remove(path); }
};

void expect_internal(unsigned int id) {
    try {
        get_ui_string(static_cast<ui_string_id>(id));
        ADD_FAILURE() << "no exception for " << id;
    } catch (const ui_exception &e) {
        EXPECT_EQ(e.message(), u"internal");
        EXPECT_EQ(e.source_file(), ".\\uistrings");
        EXPECT_EQ(e.line(), 59);
    }
}

}  // namespace

TEST(UiStrings, OneRunOfTheTable) {
    language_file_guard guard;
    write_utf16(guard.path, u"[Create] [Early]\r\n", bom::with);
    // Invalid identifiers are refused before the file is read: had they built the table,
    // it would hold "Early".
    expect_internal(0);
    expect_internal(17);
    expect_internal(1000);
    write_utf16(guard.path,
                u"[Create] [Anlegen]\r\n[Exit] []\r\n[connection] [verbindung]\r\n[internal] [x]\r\n"
                u"[Operator Name] [Netzbetreiber]\r\n",
                bom::with);
    EXPECT_EQ(get_ui_string(command_create), u"Anlegen");
    EXPECT_EQ(get_ui_string(command_exit), u"");
    EXPECT_EQ(get_ui_string(default_connection_name), u"Connection");
    EXPECT_EQ(get_ui_string(label_operator_name), u"Netzbetreiber");
    EXPECT_EQ(get_ui_string(app_title), u"Orvane Connection Manager");
    expect_internal(0);
    // Changing or removing the file now changes nothing in this run.
    write_utf16(guard.path, u"[Create] [Later]\r\n");
    EXPECT_EQ(get_ui_string(command_create), u"Anlegen");
    std::filesystem::remove(guard.path);
    EXPECT_EQ(get_ui_string(command_create), u"Anlegen");
}

TEST(UiStrings, EnglishTextsOfAllSixteen) {
    EXPECT_EQ(std::u16string(english_ui_string(1)), u"Orvane Connection Manager");
    EXPECT_EQ(std::u16string(english_ui_string(3)), u"Could not create connection");
    EXPECT_EQ(std::u16string(english_ui_string(5)), u"Connection with such name already exists");
    EXPECT_EQ(std::u16string(english_ui_string(13)), u"Create");
    EXPECT_EQ(std::u16string(english_ui_string(15)), u"Connection");
    EXPECT_EQ(std::u16string(english_ui_string(16)), u"Custom");
    EXPECT_EQ(english_ui_string(0), nullptr);
    EXPECT_EQ(english_ui_string(17), nullptr);
}

// Runs in a child process of its own, before the table of this process exists.
TEST(UiStringsDeathTest, WithoutLanguageFileEnglishIsUsed) {
    GTEST_FLAG_SET(death_test_style, "fast");
    std::filesystem::remove(beside_self(".lng"));
    EXPECT_EXIT(
        {
            bool ok = get_ui_string(command_create) == u"Create" &&
                      get_ui_string(app_title) == u"Orvane Connection Manager" &&
                      get_ui_string(custom_operator) == u"Custom";
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
