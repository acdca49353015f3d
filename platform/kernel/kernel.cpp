// Files, mappings and the local heap, on POSIX files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "../common/utf.h"
#include "windows.h"

struct platform_handle {
    enum class kind { file, mapping } type;
    int fd = -1;
    std::uint64_t size = 0;  // mapping: bytes that a view covers
};

namespace {

thread_local DWORD last_error = 0;

struct handle_table {
    std::mutex lock;
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
    std::lock_guard<std::mutex> g(t.lock);
    if (t.live.count(h) == 0 || h->type != k) return nullptr;
    return h;
}

HANDLE track(platform_handle *h) {
    auto &t = handles();
    std::lock_guard<std::mutex> g(t.lock);
    t.live.insert(h);
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
    // A process's program stays where it was started from: read once.
    static const std::u16string path = [] {
        char buf[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        return n <= 0 ? std::u16string() : orvane_platform::from_utf8(std::string_view(buf, static_cast<std::size_t>(n)));
    }();
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

// Data files larger than this are unusable, so that start-up can never stall on one; the
// whole provider database is well under 1 MiB.
constexpr std::uint64_t max_mapped_file = 64ull << 20;
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223
#endif

HANDLE CreateFileForMapping(LPCWSTR name, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/,
                            DWORD disposition, DWORD /*flags*/, HANDLE /*template_file*/) {
    if (name == nullptr || name[0] == 0 || disposition != OPEN_EXISTING || (access & GENERIC_WRITE) != 0) {
        SetLastError(name == nullptr || name[0] == 0 ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Without blocking: a FIFO in a file's place must not hold start-up until a writer comes.
    int fd = open(host_path(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a FIFO, a device or a folder counts as missing
        close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (static_cast<std::uint64_t>(st.st_size) > max_mapped_file) {
        close(fd);
        SetLastError(ERROR_FILE_TOO_LARGE);
        return INVALID_HANDLE_VALUE;
    }
    return track(new platform_handle{platform_handle::kind::file, fd, static_cast<std::uint64_t>(st.st_size)});
}

HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES /*security*/, DWORD protect, DWORD size_high,
                         DWORD size_low, LPCWSTR /*name*/) {
    platform_handle *f = checked(file, platform_handle::kind::file);
    if (f == nullptr || protect != PAGE_READONLY) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    struct stat st {};
    if (fstat(f->fd, &st) != 0) return nullptr;
    auto file_size = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t want = (static_cast<std::uint64_t>(size_high) << 32) | size_low;
    if (want == 0) want = file_size;
    // A read-only mapping cannot grow the file, and a mapping of nothing is refused.
    if (want == 0 || want > file_size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = dup(f->fd);
    if (fd < 0) return nullptr;
    return track(new platform_handle{platform_handle::kind::mapping, fd, want});
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
    std::size_t got = 0;
    while (got < length) {
        ssize_t n = pread(m->fd, p + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::free(p);
            SetLastError(ERROR_READ_FAULT);
            return nullptr;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    // A file that got shorter since the mapping was made reads as zeros past its new end.
    std::memset(p + got, 0, length - got);
    auto &t = handles();
    std::lock_guard<std::mutex> g(t.lock);
    t.views.insert({p, length});
    return p;
}

BOOL UnmapViewOfFile(LPCVOID base) {
    auto &t = handles();
    std::lock_guard<std::mutex> g(t.lock);
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
    struct stat st {};
    if (fstat(f->fd, &st) != 0) return INVALID_FILE_SIZE;
    auto size = static_cast<std::uint64_t>(st.st_size);
    if (size_high != nullptr) *size_high = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE object) {
    auto &t = handles();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.live.find(object);
    if (it == t.live.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(object->fd);
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
