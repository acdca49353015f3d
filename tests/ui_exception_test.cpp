#include "provisioning/ui_exception.h"

#include <gtest/gtest.h>

#include <cstring>

using orvane_cr::ui_exception;

TEST(UiException, MessageAloneHasNoSite) {
    ui_exception e(u"Invalid connection name");
    EXPECT_EQ(e.message(), u"Invalid connection name");
    EXPECT_EQ(e.source_file(), "");
    EXPECT_EQ(e.line(), 0);
}

TEST(UiException, CopyKeepsEverythingAndWhatIsFixed) {
    try {
        throw ui_exception(u"Could not create connection", ".\\orvane_ras", 112);
    } catch (const std::exception &base) {
        EXPECT_STREQ(base.what(), "ui_exception");
        const auto *e = dynamic_cast<const ui_exception *>(&base);
        ASSERT_NE(e, nullptr);
        ui_exception copy(*e);
        EXPECT_EQ(copy.message(), u"Could not create connection");
        EXPECT_EQ(copy.source_file(), ".\\orvane_ras");
        EXPECT_EQ(copy.line(), 112);
        EXPECT_STREQ(copy.what(), "ui_exception");
    }
    EXPECT_STREQ(ui_exception(u"other").what(), "ui_exception");
    EXPECT_EQ(ui_exception(u"x", nullptr, 3).source_file(), "");
}
