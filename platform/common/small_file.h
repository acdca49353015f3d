// Small files read whole: the data files, the device profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane_platform {

// Data files larger than this are unusable, so that start-up can never stall on one; the
// whole provider database is well under 1 MiB.
inline constexpr std::uint64_t max_data_file = 64ull << 20;

enum class small_file_status { ok, missing, folder, not_regular, too_large, unreadable };

// A regular file of at most a given size, open for reading.
class small_file {
public:
    // Opened without blocking, so that a FIFO in the file's place never holds the caller.
    small_file(const std::string &path, std::uint64_t size_cap);
    ~small_file();
    small_file(const small_file &) = delete;
    small_file &operator=(const small_file &) = delete;

    small_file_status status() const { return status_; }
    int error() const { return error_; }  // errno of a failed open or read
    std::uint64_t size() const { return size_; }
    // Up to `length` bytes from `offset`: the count read, short at the file's end, or -1.
    std::int64_t read_at(void *to, std::size_t length, std::uint64_t offset);

private:
    int fd_ = -1;
    small_file_status status_ = small_file_status::unreadable;
    int error_ = 0;
    std::uint64_t size_ = 0;
};

// The whole file into `bytes`, or why not.
small_file_status read_small_file(const std::string &path, std::uint64_t size_cap, std::string &bytes,
                                  int *error = nullptr);

}  // namespace orvane_platform
