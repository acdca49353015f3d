#include "bounded_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace orvane_platform {

bool lock_exclusive_within(int fd, int timeout_ms, int (*ending)() noexcept, std::string &why) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            why = std::string("cannot be locked: ") + std::strerror(errno);
            return false;
        }
        if (ending != nullptr && ending() != 0) {
            why = "not locked: the program is ending";
            return false;
        }
        if (clock::now() >= deadline) {
            why = "is locked by another program (waited " + std::to_string(timeout_ms) + " ms)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace orvane_platform
