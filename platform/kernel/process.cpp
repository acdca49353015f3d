#include "process.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

namespace orvane_platform {

std::string &module_path_override() {
    static std::string path;
    return path;
}

void set_module_path(const std::string &utf8_path) { module_path_override() = utf8_path; }

std::filesystem::path running_program(std::error_code &ec) { return std::filesystem::read_symlink("/proc/self/exe", ec); }

void disable_core_dumps() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
#if !defined(__SANITIZE_ADDRESS__) && !__has_feature(address_sanitizer)
    // Not dumpable also keeps other processes of the user from reading its memory. Left out
    // under AddressSanitizer, whose leak check stops the process through ptrace and spins
    // when it cannot.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace orvane_platform
