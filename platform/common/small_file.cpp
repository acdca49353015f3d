#include "small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvane_platform {

small_file::small_file(const std::string &path, std::uint64_t size_cap) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        error_ = errno;
        status_ = error_ == ENOENT || error_ == ENOTDIR ? small_file_status::missing : small_file_status::unreadable;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error_ = errno;
        status_ = small_file_status::unreadable;
    } else if (S_ISDIR(st.st_mode)) {
        status_ = small_file_status::folder;
    } else if (!S_ISREG(st.st_mode)) {
        status_ = small_file_status::not_regular;
    } else if (static_cast<std::uint64_t>(st.st_size) > size_cap) {
        status_ = small_file_status::too_large;
    } else {
        size_ = static_cast<std::uint64_t>(st.st_size);
        status_ = small_file_status::ok;
        return;
    }
    ::close(fd_);
    fd_ = -1;
}

small_file::~small_file() {
    if (fd_ >= 0) ::close(fd_);
}

std::int64_t small_file::read_at(void *to, std::size_t length, std::uint64_t offset) {
    if (fd_ < 0) return -1;
    auto *out = static_cast<char *>(to);
    std::size_t got = 0;
    while (got < length) {
        ssize_t n = ::pread(fd_, out + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = errno;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

small_file_status read_small_file(const std::string &path, std::uint64_t size_cap, std::string &bytes, int *error) {
    small_file file(path, size_cap);
    if (file.status() == small_file_status::ok) {
        bytes.resize(static_cast<std::size_t>(file.size()));
        std::int64_t got = file.read_at(bytes.data(), bytes.size(), 0);
        if (got >= 0) {
            bytes.resize(static_cast<std::size_t>(got));
            return small_file_status::ok;
        }
    }
    bytes.clear();
    if (error != nullptr) *error = file.error();
    return file.status() == small_file_status::ok ? small_file_status::unreadable : file.status();
}

}  // namespace orvane_platform
