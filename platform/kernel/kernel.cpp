// Files, mappings and the local heap, on POSIX files.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "../common/small_file.h"
#include "../common/utf.h"
#include "process.h"
#include "windows.h"

struct platform_handle {
    enum class kind { file, mapping } type;
    std::shared_ptr<orvane_platform::small_file> file;  // a mapping shares its file's
    std::uint64_t size = 0;  // mapping: bytes that a view covers
};

namespace {

thread_local DWORD last_error = 0;

struct handle_table {
    std::set<platform_handle *> live;
    // view base -> length, so that UnmapViewOfFile knows what to unmap
    std::set<std::pair<const void *, std::size_t>> views;
};

handle_table &handles() {
    static handle_table table;
    return table;
}

platform_handle *checked(HANDLE h, platform_handle::kind k) {
    auto &t = handles();
    if (t.live.count(h) == 0 || h->type != k) return nullptr;
    return h;
}

HANDLE track(platform_handle *h) {
    handles().live.insert(h);
    return h;
}

// Windows paths from the program may use "\" as separator.
std::string host_path(LPCWSTR name) {
    std::u16string p(name);
    for (auto &c : p) {
        if (c == u'\\') c = u'/';
    }
    return orvane_platform::to_utf8(p);
}

}  // namespace

DWORD GetLastError() { return last_error; }
void SetLastError(DWORD error) { last_error = error; }

DWORD GetModuleFileName(HMODULE module, LPWSTR filename, DWORD size) {
    if (module != nullptr || filename == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string &named = orvane_platform::module_path_override();
    std::error_code ec;
    const std::u16string path = orvane_platform::from_utf8(!named.empty() ? named : orvane_platform::running_program(ec).string());
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    // Too small a buffer: truncated and terminated, as the platform does.
    std::size_t copy = path.size() < size ? path.size() : size - 1;
    std::memcpy(filename, path.data(), copy * sizeof(WCHAR));
    filename[copy] = 0;
    if (copy < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return static_cast<DWORD>(copy);
}

#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223
#endif

HANDLE CreateFileForMapping(LPCWSTR name, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/,
                            DWORD disposition, DWORD /*flags*/, HANDLE /*template_file*/) {
    if (name == nullptr || name[0] == 0 || disposition != OPEN_EXISTING || (access & GENERIC_WRITE) != 0) {
        SetLastError(name == nullptr || name[0] == 0 ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    using orvane_platform::small_file_status;
    auto file = std::make_shared<orvane_platform::small_file>(host_path(name), orvane_platform::max_data_file);
    if (file->status() != small_file_status::ok) {
        // A FIFO, a device or a folder counts as missing.
        SetLastError(file->status() == small_file_status::too_large ? ERROR_FILE_TOO_LARGE : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::uint64_t size = file->size();
    return track(new platform_handle{platform_handle::kind::file, std::move(file), size});
}

HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES /*security*/, DWORD protect, DWORD size_high,
                         DWORD size_low, LPCWSTR /*name*/) {
    platform_handle *f = checked(file, platform_handle::kind::file);
    if (f == nullptr || protect != PAGE_READONLY) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::uint64_t file_size = f->file->size();
    std::uint64_t want = (static_cast<std::uint64_t>(size_high) << 32) | size_low;
    if (want == 0) want = file_size;
    // A read-only mapping cannot grow the file, and a mapping of nothing is refused.
    if (want == 0 || want > file_size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return track(new platform_handle{platform_handle::kind::mapping, f->file, want});
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes) {
    platform_handle *m = checked(mapping, platform_handle::kind::mapping);
    if (m == nullptr || access != FILE_MAP_READ) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::uint64_t offset = (static_cast<std::uint64_t>(offset_high) << 32) | offset_low;
    long page = sysconf(_SC_PAGESIZE);
    if (offset >= m->size || offset % static_cast<std::uint64_t>(page) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::uint64_t length = bytes == 0 ? m->size - offset : bytes;
    if (length > m->size - offset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The view is the file's bytes read into memory of its own, not a mapping of the file:
    // setting up and tearing down page tables costs several times the copy on a virtual
    // machine, and a file cut short by someone else cannot fault the reader (SIGBUS).
    auto *p = static_cast<unsigned char *>(std::malloc(length));
    if (p == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::int64_t got = m->file->read_at(p, length, offset);
    if (got < 0) {
        std::free(p);
        SetLastError(ERROR_READ_FAULT);
        return nullptr;
    }
    // A file that got shorter since the mapping was made reads as zeros past its new end.
    std::memset(p + got, 0, length - static_cast<std::size_t>(got));
    handles().views.insert({p, length});
    return p;
}

BOOL UnmapViewOfFile(LPCVOID base) {
    auto &t = handles();
    auto it = t.views.lower_bound({base, 0});
    if (it == t.views.end() || it->first != base) return FALSE;
    std::free(const_cast<void *>(it->first));
    t.views.erase(it);
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD *size_high) {
    platform_handle *f = checked(file, platform_handle::kind::file);
    if (f == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    std::uint64_t size = f->file->size();
    if (size_high != nullptr) *size_high = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE object) {
    auto &t = handles();
    auto it = t.live.find(object);
    if (it == t.live.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    t.live.erase(it);
    delete object;
    return TRUE;
}

namespace {
// Each block remembers its size in front of it, so LocalFree needs nothing more.
constexpr std::size_t local_header = alignof(std::max_align_t);
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > (SIZE_MAX - local_header)) return nullptr;
    auto *raw = static_cast<unsigned char *>(std::malloc(bytes + local_header));
    if (raw == nullptr) return nullptr;
    std::memcpy(raw, &bytes, sizeof bytes);
    if ((flags & LMEM_ZEROINIT) != 0) std::memset(raw + local_header, 0, bytes);
    return raw + local_header;
}

HLOCAL LocalFree(HLOCAL mem) {
    if (mem != nullptr) std::free(static_cast<unsigned char *>(mem) - local_header);
    return nullptr;
}
