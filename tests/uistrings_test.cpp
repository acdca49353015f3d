// The table is built once per process, so this program drives one run of it in order.
#include "text/uistrings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string_view>
#include <utility>

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
    // Every identifier by name: a text moved by one place in the table shows here.
    const std::pair<ui_string_id, std::u16string_view> english[] = {
        {app_title, u"Orvane Connection Manager"},
        {connection_created, u"Connection created successfully"},
        {create_failed, u"Could not create connection"},
        {invalid_name, u"Invalid connection name"},
        {name_exists, u"Connection with such name already exists"},
        {label_apn, u"APN"},
        {label_user_name, u"User Name"},
        {label_operator_name, u"Operator Name"},
        {label_modem, u"Modem"},
        {label_connection_name, u"Connection Name"},
        {label_password, u"Password"},
        {label_phone, u"Phone"},
        {command_create, u"Create"},
        {command_exit, u"Exit"},
        {default_connection_name, u"Connection"},
        {custom_operator, u"Custom"},
    };
    static_assert(std::size(english) == ui_string_count);
    for (const auto &[id, text] : english) {
        ASSERT_NE(english_ui_string(id), nullptr) << id;
        EXPECT_EQ(std::u16string_view(english_ui_string(id)), text) << id;
    }
    EXPECT_EQ(english_ui_string(0), nullptr);
    EXPECT_EQ(english_ui_string(ui_string_count + 1), nullptr);
    // The names the tools print, at both ends of the table and one past each.
    EXPECT_STREQ(ui_string_name(app_title), "app_title");
    EXPECT_STREQ(ui_string_name(custom_operator), "custom_operator");
    EXPECT_STREQ(ui_string_name(label_apn), "label_apn");
    EXPECT_EQ(ui_string_name(0), nullptr);
    EXPECT_EQ(ui_string_name(ui_string_count + 1), nullptr);
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
