// A file lock waited for a bounded time: a lock another process holds for ever (a hung
// program, a hostile user) must not hang ours.
#pragma once

#include <string>

namespace orvane_platform {

// Takes an exclusive flock on `fd`, trying until `timeout_ms` have passed or `ending` (may be
// null) reports a signal. False, with the reason in `why`, when it could not.
bool lock_exclusive_within(int fd, int timeout_ms, int (*ending)() noexcept, std::string &why);

}  // namespace orvane_platform
