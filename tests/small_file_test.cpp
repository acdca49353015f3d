#include "common/small_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

using namespace orvane_test;
using orvane_platform::read_small_file;
using orvane_platform::small_file;
using orvane_platform::small_file_status;

TEST(SmallFile, OnlyRegularFilesUpToTheCapAreRead) {
    temp_dir dir;
    std::string bytes = "left over";
    write_bytes(dir / "data", "abc");
    EXPECT_EQ(read_small_file((dir / "data").string(), 3, bytes), small_file_status::ok);
    EXPECT_EQ(bytes, "abc");
    EXPECT_EQ(read_small_file((dir / "data").string(), 2, bytes), small_file_status::too_large);
    EXPECT_EQ(bytes, "");
    write_bytes(dir / "empty", "");
    EXPECT_EQ(read_small_file((dir / "empty").string(), 0, bytes), small_file_status::ok);
    int error = 0;
    EXPECT_EQ(read_small_file((dir / "missing").string(), 9, bytes, &error), small_file_status::missing);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(read_small_file((dir / "data" / "below").string(), 9, bytes), small_file_status::missing);
    EXPECT_EQ(read_small_file(dir.path().string(), 9, bytes), small_file_status::folder);
    // A FIFO without a writer is answered at once, never waited on; so is a device.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(read_small_file((dir / "fifo").string(), 9, bytes), small_file_status::not_regular);
    EXPECT_EQ(read_small_file("/dev/zero", 9, bytes), small_file_status::not_regular);
    // The cap of the data files, on a sparse file of each side of it.
    for (auto [size, usable] : {std::pair{orvane_platform::max_data_file, true},
                                std::pair{orvane_platform::max_data_file + 1, false}}) {
        write_bytes(dir / "sparse", "");
        ASSERT_EQ(truncate((dir / "sparse").c_str(), static_cast<off_t>(size)), 0);
        small_file f((dir / "sparse").string(), orvane_platform::max_data_file);
        EXPECT_EQ(f.status() == small_file_status::ok, usable) << size;
    }
    if (geteuid() != 0) {
        write_bytes(dir / "locked", "x");
        std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
        EXPECT_EQ(read_small_file((dir / "locked").string(), 9, bytes, &error), small_file_status::unreadable);
        EXPECT_EQ(error, EACCES);
    }
}

TEST(SmallFile, ReadsAtAnOffsetAndStopsShortAtTheEnd) {
    temp_dir dir;
    write_bytes(dir / "data", "0123456789");
    small_file f((dir / "data").string(), 100);
    ASSERT_EQ(f.status(), small_file_status::ok);
    EXPECT_EQ(f.size(), 10u);
    char out[8] = {};
    EXPECT_EQ(f.read_at(out, 4, 3), 4);
    EXPECT_EQ(std::string(out, 4), "3456");
    // Cut short by someone else after it was opened: only what is left is read.
    ASSERT_EQ(truncate((dir / "data").c_str(), 5), 0);
    EXPECT_EQ(f.read_at(out, 8, 2), 3);
    EXPECT_EQ(f.read_at(out, 8, 9), 0);
    small_file missing((dir / "nothing").string(), 100);
    EXPECT_EQ(missing.read_at(out, 1, 0), -1);
}
