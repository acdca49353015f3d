#include "first_frame.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

// What a run in a pseudo-terminal showed: exec to its first complete frame, and its peak
// resident memory by then.
namespace {

long peak_resident_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string l; std::getline(status, l);) {
        if (l.rfind("VmHWM:", 0) == 0) return std::atol(l.c_str() + 6);
    }
    return -1;
}

}  // namespace

// Runs `args` in an 80 x 24 pseudo-terminal of its own, started with posix_spawn so that the
// size of this process costs nothing. The frame is complete when the output holds every
// marker: terminal libraries write a frame top to bottom in one burst, and the markers stand on
// its last rows.
first_frame run_to_first_frame(const std::vector<std::string> &args, const std::vector<std::string> &markers) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    ioctl(master, TIOCSWINSZ, &size);
    const std::string terminal = ptsname(master);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    // Opened after the new session begins, the terminal becomes its controlling one.
    posix_spawn_file_actions_addopen(&files, 0, terminal.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&files, 0, 1);
    posix_spawn_file_actions_adddup2(&files, 0, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    setenv("TERM", "xterm", 1);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    int spawned = posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    first_frame r;
    std::string out;
    char buf[1 << 16];
    while (spawned == 0) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) break;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (std::all_of(markers.begin(), markers.end(), [&](const std::string &m) { return out.find(m) != std::string::npos; })) {
            r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            r.peak_kb = peak_resident_kb(pid);
            break;
        }
    }
    if (spawned == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(master);
    if (r.seconds < 0) std::fprintf(stderr, "no complete frame from %s\n", args[0].c_str());
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

