#include <cfgmgrapi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <ras.h>

#include "support/test_support.h"

using namespace orvane_test;

namespace {

void provision(const std::u16string &name) {
    std::u16string doc = provisioning_doc(provisioning_entry(name));
    WCHAR *reply = nullptr;
    ASSERT_GE(DMProcessConfigXML(doc.c_str(), CFGFLAG_PROCESS, &reply), 0);
    delete[] reply;
}

}  // namespace

TEST(EntryName, InvalidNames) {
    device_sandbox dev;
    for (std::u16string bad : {u"", u"123456789012345678901", u"...", u"- -", u"\\name", u".name", u"a|b", u"a>b",
                               u"a<b", u"a?b", u"a*b", u"a\\b", u"a/b", u"a:b", u"a\tb", u"a\x7F", u"a\x85"}) {
        EXPECT_EQ(RasValidateEntryName(nullptr, bad.c_str()), static_cast<DWORD>(ERROR_INVALID_NAME)) << u8(bad);
    }
    std::u16string lone = u"ab";
    lone += static_cast<char16_t>(0xD800);
    EXPECT_EQ(RasValidateEntryName(nullptr, lone.c_str()), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(RasValidateEntryName(nullptr, nullptr), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_NE(RasValidateEntryName(u"book", u"ok"), 0u);
}

TEST(EntryName, ValidAndTakenNames) {
    device_sandbox dev;
    for (std::u16string good : {u"12345678901234567890", u"a", u"My-Net (2)", u"Straße", u"_x.", u" spaced "}) {
        EXPECT_EQ(RasValidateEntryName(nullptr, good.c_str()), 0u) << u8(good);
    }
    provision(u"Straße");
    provision(u"Connection");
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(RasValidateEntryName(nullptr, u"cONNECTION"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(RasValidateEntryName(nullptr, u"STRASSE"), 0u);
    EXPECT_EQ(RasValidateEntryName(nullptr, u"STRAßE"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection 1"), 0u);
    // The store the test keeps open sees what is stored after it, and a store put in its place.
    provision(u"Connection 1");
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection 1"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    std::filesystem::remove(dev.store());
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection"), 0u);
    provision(u"Other");
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection"), 0u);
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Other"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A store copied over the kept one in place (same file, other bytes) is read anew.
    std::string only_other = read_bytes(dev.store());
    provision(u"Third");
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Third"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the timestamps' tick
    write_bytes(dev.store(), only_other);
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Third"), 0u);
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Other"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}
