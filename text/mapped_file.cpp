#include "mapped_file.h"

namespace orvane_cr {

mapped_file::mapped_file(const WCHAR *path) {
    if (!open(path)) close();
}

mapped_file::~mapped_file() { close(); }

bool mapped_file::open(const WCHAR *path) {
    close();
    file_ = CreateFileForMapping(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return false;
    mapping_ = CreateFileMapping(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping_ == nullptr) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return false;
    }
    view_ = static_cast<const BYTE *>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (view_ == nullptr) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return false;
    }
    size_ = GetFileSize(file_, nullptr);
    open_ = true;
    return true;
}

void mapped_file::close() {
    if (open_) {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        if (mapping_ != nullptr) CloseHandle(mapping_);
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    file_ = INVALID_HANDLE_VALUE;
    mapping_ = nullptr;
    view_ = nullptr;
    size_ = 0;
    open_ = false;
}

}  // namespace orvane_cr
