// The dialog's start in host mode against the running NetworkManager's connections: with none,
// with 100 and with 200 of them, 99 of those "Connection" .. "Connection 98", against nmcli's
// listing of the same. Run beside a NetworkManager of its own (scripts/bench.sh does, as root):
// it adds connections to the NetworkManager it finds.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "first_frame.h"

namespace fs = std::filesystem;

namespace {

std::string random_uuid(std::mt19937_64 &random) {
    static const char hex[] = "0123456789abcdef";
    std::string u;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) u += '-';
        u += hex[random() % 16];
    }
    return u;
}

// Keyfiles `from` .. `to` - 1 of the connections, then NetworkManager reads them.
void add_connections(const fs::path &keyfiles, int from, int to, std::mt19937_64 &random) {
    for (int i = from; i < to; ++i) {
        std::string name = i == 0 ? "Connection" : i < 99 ? "Connection " + std::to_string(i) : "Other " + std::to_string(i);
        fs::path file = keyfiles / ("bench" + std::to_string(i) + ".nmconnection");
        std::ofstream(file) << "[connection]\nid=" << name << "\nuuid=" << random_uuid(random)
                            << "\ntype=ethernet\nautoconnect=false\n[ipv4]\nmethod=disabled\n[ipv6]\nmethod=disabled\n";
        chmod(file.c_str(), 0600);
    }
    if (std::system("nmcli connection reload") != 0) std::fprintf(stderr, "nmcli connection reload failed\n");
}

double seconds_of_command(const char *command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command) != 0) std::fprintf(stderr, "failed: %s\n", command);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    const char *keyfiles = std::getenv("ORVANE_NM_KEYFILES");
    if (argc != 2 || keyfiles == nullptr) {
        std::fprintf(stderr, "usage: ORVANE_NM_KEYFILES=DIR orvane-bench-host DIALOG (beside a NetworkManager of its own)\n");
        return 2;
    }
    const fs::path device = fs::temp_directory_path() / ("orvane-bench-host-" + std::to_string(getpid()));
    fs::create_directories(device);
    fs::permissions(device, fs::perms::owner_all);
    std::ofstream(device / "device.toml") << "[store]\nnetworkmanager = true\n";
    setenv("ORVANE_DEVICE", device.c_str(), 1);
    std::mt19937_64 random(7);
    const std::vector<std::string> dialog = {argv[1]};
    const int rounds = 9;
    auto start_of = [&](double &nmcli) {
        std::vector<double> ours;
        std::vector<double> theirs;
        for (int r = 0; r < rounds; ++r) {
            first_frame f = run_to_first_frame(dialog, {"Create", "Exit"});
            if (f.seconds > 0) ours.push_back(f.seconds);
            theirs.push_back(seconds_of_command("nmcli connection show >/dev/null"));
        }
        nmcli = median(theirs);
        return median(ours);
    };
    double nmcli_0 = 0;
    double nmcli_100 = 0;
    double nmcli_200 = 0;
    const double at_0 = start_of(nmcli_0);
    add_connections(keyfiles, 0, 100, random);
    const double at_100 = start_of(nmcli_100);
    add_connections(keyfiles, 100, 200, random);
    const double at_200 = start_of(nmcli_200);
    std::printf("figure host_start_0 %.1f ms (nmcli connection show %.1f ms)\n", 1e3 * at_0, 1e3 * nmcli_0);
    std::printf("figure host_start_100 %.1f ms (nmcli connection show %.1f ms)\n", 1e3 * at_100, 1e3 * nmcli_100);
    std::printf("figure host_start_200 %.1f ms (nmcli connection show %.1f ms)\n", 1e3 * at_200, 1e3 * nmcli_200);
    // What the connections add to the start, against what nmcli's listing of them takes; and
    // the second hundred's share against the first's (1 is a straight line).
    std::printf("ratio host_start_added_200_vs_nmcli %.3f\n", (at_200 - at_0) / nmcli_200);
    std::printf("ratio host_start_second_100_vs_first %.3f\n", (at_200 - at_100) / (at_100 - at_0));
    fs::remove_all(device);
    return 0;
}
