#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstring>

#include "support/test_support.h"

using namespace orvane_test;

TEST(ModulePath, IsTheRunningProgramInUtf16) {
    WCHAR buf[MAX_PATH];
    DWORD n = GetModuleFileName(nullptr, buf, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::u16string(buf, n), wide(self_path()));
    EXPECT_EQ(buf[n], 0);
}

TEST(ModulePath, SmallBufferIsTruncatedAndTerminated) {
    WCHAR buf[4] = {1, 1, 1, 1};
    EXPECT_EQ(GetModuleFileName(nullptr, buf, 4), 4u);
    EXPECT_EQ(buf[3], 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // No buffer, no room or another module: nothing is written, and the error says why.
    EXPECT_EQ(GetModuleFileName(nullptr, buf, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileName(nullptr, nullptr, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<HMODULE>(buf), buf, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileMapping, MapsTheWholeFileReadOnly) {
    temp_dir dir;
    write_bytes(dir / "f.bin", std::string("abc\0def", 7));
    HANDLE f = CreateFileForMapping(wide(dir / "f.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(f, &high), 7u);
    EXPECT_EQ(high, 0u);
    HANDLE m = CreateFileMapping(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    // Read access only, and of a mapping: the file's own handle is no mapping.
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ | 2, 0, 0, 0), nullptr);  // FILE_MAP_WRITE
    EXPECT_EQ(MapViewOfFile(f, FILE_MAP_READ, 0, 0, 0), nullptr);
    const void *view = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::memcmp(view, "abc\0def", 7), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(m));
    EXPECT_TRUE(CloseHandle(f));
    EXPECT_FALSE(CloseHandle(f));

    // Cut short by someone else after the mapping was made: the part gone reads as zeros,
    // where a mapping of the file itself would kill the reader with SIGBUS.
    write_bytes(dir / "cut.bin", std::string(8192, 'x'));
    f = CreateFileForMapping(wide(dir / "cut.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    m = CreateFileMapping(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(truncate((dir / "cut.bin").c_str(), 100), 0);
    const auto *cut = static_cast<const char *>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::string(cut, 100), std::string(100, 'x'));
    EXPECT_EQ(std::string(cut + 100, 8092), std::string(8092, '\0'));
    EXPECT_TRUE(UnmapViewOfFile(cut));
    CloseHandle(m);
    CloseHandle(f);
}

TEST(FileMapping, RefusesEmptyMissingAndFoldersAndWrites) {
    temp_dir dir;
    write_bytes(dir / "empty", "");
    HANDLE f = CreateFileForMapping(wide(dir / "empty").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMapping(f, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    // A mapping larger than the file would read past its end.
    EXPECT_EQ(CreateFileMapping(f, nullptr, PAGE_READONLY, 0, 10, nullptr), nullptr);
    CloseHandle(f);
    EXPECT_EQ(CreateFileForMapping(wide(dir / "missing").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileForMapping(wide(dir.path()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    // No name is a file not found; a write or a creation asked for is a bad parameter.
    struct refused {
        const char16_t *name;
        DWORD access, disposition, error;
    };
    const std::u16string file = wide(dir / "f.bin");
    write_bytes(dir / "f.bin", "abc");
    for (const refused &r : {refused{u"", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                             refused{nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                             refused{file.c_str(), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
                             refused{file.c_str(), GENERIC_READ, CREATE_ALWAYS, ERROR_INVALID_PARAMETER}}) {
        SetLastError(0);
        EXPECT_EQ(CreateFileForMapping(r.name, r.access, 0, nullptr, r.disposition, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), r.error);
    }
    EXPECT_EQ(CreateFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
}

TEST(LocalHeap, ZeroInitialisedBlocks) {
    auto *p = static_cast<unsigned char *>(LocalAlloc(LPTR, 100));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
    EXPECT_EQ(LocalFree(p), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(LocalAlloc(LPTR, SIZE_MAX), nullptr);
}
