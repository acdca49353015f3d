// A read-only view of one whole file.
#pragma once

#include <windows.h>

#include <cstdint>

namespace orvane_cr {

class mapped_file {
public:
    explicit mapped_file(const WCHAR *path);
    ~mapped_file();
    mapped_file(const mapped_file &) = delete;
    mapped_file &operator=(const mapped_file &) = delete;

    bool open(const WCHAR *path);
    void close();
    bool is_open() const { return open_; }
    const BYTE *data() const { return view_; }
    std::uint32_t size() const { return size_; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    const BYTE *view_ = nullptr;
    std::uint32_t size_ = 0;
    bool open_ = false;
};

}  // namespace orvane_cr
