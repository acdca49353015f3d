#include "text/mapped_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

using namespace orvane_test;
using orvane_cr::mapped_file;

namespace {
void expect_closed(const mapped_file &f) {
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.data(), nullptr);
    EXPECT_EQ(f.size(), 0u);
}
}  // namespace

TEST(MappedFile, ViewsTheWholeFileWithItsExactLength) {
    temp_dir dir;
    write_bytes(dir / "a", "hello");
    mapped_file f(wide(dir / "a").c_str());
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(f.size(), 5u);
    EXPECT_EQ(std::memcmp(f.data(), "hello", 5), 0);
    f.close();
    expect_closed(f);
    f.close();
    expect_closed(f);
    // Reopening another file on the same object works and releases the first.
    write_bytes(dir / "b", "xy");
    EXPECT_TRUE(f.open(wide(dir / "b").c_str()));
    EXPECT_EQ(f.size(), 2u);
}

TEST(MappedFile, MissingEmptyAndEmptyPathLeaveItClosed) {
    temp_dir dir;
    write_bytes(dir / "empty", "");
    for (const std::u16string &p : {wide(dir / "missing"), wide(dir / "empty"), std::u16string()}) {
        mapped_file f(p.c_str());
        expect_closed(f);
        f.close();
        expect_closed(f);
    }
}
