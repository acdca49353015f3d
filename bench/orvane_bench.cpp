// Benchmarks of start-up work, with the ratios against reference work measured side by side.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <cfgmgrapi.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "app/connection_dialog.h"
#include "bench/first_frame.h"
#include "common/utf.h"
#include "config/connection_store.h"
#include "modems/orvane_tapi.h"
#include "display/headless_display.h"
#include "presets/operator_presets.h"
#include "presets/xml_reader.h"
#include "provisioning/orvane_ras.h"
#include "resources/resource.h"
#include "user/window_core.h"

namespace {

namespace fs = std::filesystem;

struct workload {
    fs::path dir;
    fs::path presets_5000;
    fs::path presets_50000;
    std::string bytes_5000;
    std::u16string path_5000;
    std::u16string path_50000;
};

std::string utf16le(const std::u16string &s) {
    std::string out = "\xFF\xFE";
    out.reserve(2 + s.size() * 2);
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::u16string u16(const std::string &s) { return std::u16string(s.begin(), s.end()); }

std::string operators_file(int count) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<root>\r\n<operators>\r\n";
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        text += "<operator Name=\"Operator " + n + " &amp; Partners\" User=\"user" + n + "\" Pwd=\"pw" + n +
                "\" Apn=\"internet.operator" + n + ".example\" Phone=\"*99***1#\"/>\r\n";
    }
    text += "</operators>\r\n</root>\r\n";
    return utf16le(u16(text));
}

// Written through to the disk, so that no write-back of these pages runs while they are timed.
void write(const fs::path &p, const std::string &bytes) {
    {
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    int fd = open(p.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

workload &work() {
    static workload w = [] {
        workload x;
        x.dir = fs::temp_directory_path() / ("orvane-bench-" + std::to_string(getpid()));
        fs::create_directories(x.dir);
        x.presets_5000 = x.dir / "p5000.xml";
        x.presets_50000 = x.dir / "p50000.xml";
        x.bytes_5000 = operators_file(5000);
        write(x.presets_5000, x.bytes_5000);
        write(x.presets_50000, operators_file(50000));
        x.path_5000 = u16(x.presets_5000.string());
        x.path_50000 = u16(x.presets_50000.string());
        return x;
    }();
    return w;
}

void load_presets(const std::u16string &path, orvane_cr::operator_presets &out) {
    out.clear();
    orvane_cr::xml_reader reader;
    if (reader.open(path.c_str())) orvane_cr::read_operator_presets(reader, out);
}

// The same job done with pugixml: the file parsed into its tree, and the five attributes of each
// operator copied into a list of presets, in UTF-16 as the program keeps its texts.
void load_with_pugixml(orvane_cr::operator_presets &out) {
    out.clear();
    pugi::xml_document doc;
    if (!doc.load_file(work().presets_5000.c_str())) return;
    for (pugi::xml_node op : doc.child("root").child("operators").children()) {
        out.push_back({orvane_platform::from_utf8(op.attribute("Name").value()),
                       orvane_platform::from_utf8(op.attribute("User").value()),
                       orvane_platform::from_utf8(op.attribute("Pwd").value()),
                       orvane_platform::from_utf8(op.attribute("Apn").value()),
                       orvane_platform::from_utf8(op.attribute("Phone").value()), {}, false});
    }
}

fs::path beside_self(const char *ext) {
    fs::path p = fs::read_symlink("/proc/self/exe");
    p += ext;
    return p;
}

struct device_for_bench {
    fs::path folder = work().dir / "device";
    device_for_bench() {
        fs::create_directories(folder);
        std::ofstream(folder / "device.toml")
            << "[[modem]]\nname = \"Modem A\"\ntype = 1\n[[modem]]\nname = \"Hayes Compatible on COM1:\"\ntype = 2\n"
               "[[modem]]\nname = \"Modem C\"\ntype = 3\n";
        setenv("ORVANE_DEVICE", folder.c_str(), 1);
    }
};

orvane_platform::headless_display &screen() {
    static orvane_platform::headless_display s(40, 24);
    return s;
}


// Processor time of one call, kernel time included: what a neighbour on a shared machine
// takes from us while we wait is not counted.
double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double seconds_of(F f) {
    double t0 = thread_seconds();
    f();
    return thread_seconds() - t0;
}

// The median of the ratios of rounds that time both side by side, in turns of which goes
// first: a shared machine's slow spells then weigh on both sides of a round alike. `clock`
// tells the processor time spent so far (this thread's, or finished children's).
template <typename A, typename B, typename Clock>
double ratio_by(Clock clock, A ours, B reference, int rounds) {
    auto time_of = [&clock](auto &f) {
        double t0 = clock();
        f();
        return clock() - t0;
    };
    std::vector<double> r;
    for (int i = 0; i < rounds; ++i) {
        double a = 0;
        double b = 0;
        if (i % 2 == 0) {
            a = time_of(ours);
            b = time_of(reference);
        } else {
            b = time_of(reference);
            a = time_of(ours);
        }
        r.push_back(a / std::max(b, 1e-9));
    }
    std::sort(r.begin(), r.end());
    return r[r.size() / 2];
}

template <typename A, typename B>
double ratio(A ours, B reference, int rounds = 151) {
    ours();  // warmed once, outside the rounds
    reference();
    return ratio_by(thread_seconds, ours, reference, rounds);
}

// Processor time of finished child processes (user and kernel), for ratios of whole runs.
double children_seconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

template <typename A, typename B>
double children_ratio(A ours, B reference, int rounds) {
    return ratio_by(children_seconds, ours, reference, rounds);
}

// A device folder with a store of `bulk` entries besides the given names, made in one
// transaction, outside any timing.
fs::path make_device(const char *name, int bulk, const std::vector<std::string> &names) {
    fs::path folder = work().dir / name;
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(folder / "device.toml") << "[[modem]]\nname = \"Hayes Compatible on COM1:\"\ntype = 1\n";
    std::vector<orvane_platform::stored_entry> entries;
    entries.reserve(static_cast<std::size_t>(bulk) + names.size());
    auto add = [&](const std::string &n) {
        entries.push_back({n,
                           {{"Phone", "*99#"}, {"UserName", "user"}, {"Password", "secret"},
                            {"DeviceName", "Hayes Compatible on COM1:"}},
                           {},
                           {}});
    };
    for (int i = 0; i < bulk; ++i) add("Bulk " + std::to_string(i));
    for (const auto &n : names) add(n);
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::write, folder / "connections.db");
    if (!entries.empty()) store.insert(entries);
    return folder;
}

// The dialog's name proposal: "Connection", else the first free "Connection N" up to 99.
std::u16string propose_name() {
    std::u16string name = u"Connection";
    for (int i = 1; i <= 99; ++i) {
        if (orvane_cr::connection_name_available(name.c_str())) break;
        name = u16("Connection " + std::to_string(i));
    }
    return name;
}

// A dialog whose operator box holds the presets of `file`, its list open.
struct open_list {
    std::unique_ptr<CConnectionDialog> d = std::make_unique<CConnectionDialog>();
    HWND dialog = nullptr;
    HWND box = nullptr;
    explicit open_list(const fs::path &file) {
        fs::copy_file(file, beside_self(".xml"), fs::copy_options::overwrite_existing);
        dialog = d->Create(IDD_CONNECTION_PORTRAIT) ? d->m_hWnd : nullptr;
        box = GetDlgItem(dialog, IDC_OPERATOR);
    }
    // Makes this dialog the one that takes the keys and is drawn.
    void to_front() const {
        auto &ws = orvane_platform::windows();
        std::erase(ws.dialogs, dialog);
        ws.dialogs.push_back(dialog);
        ws.focus = box;
        SendMessage(box, CB_SHOWDROPDOWN, TRUE, 0);
    }
};

void press(orvane_platform::key k, char32_t ch = 0) {
    orvane_platform::input_event e;
    e.type = orvane_platform::input_event::kind::key;
    e.k = k;
    e.ch = ch;
    orvane_platform::handle_input(e);
    orvane_platform::refresh_display();
}

}  // namespace

// The dialog's start-up with 5,000 presets against whiptail showing the same names and against
// the floor, a bare terminal program that reads the same file, in interleaved rounds.
template <typename Line>
void startup_figures(Line &line) {
    const char *dialog = std::getenv("ORVANE_BENCH_DIALOG");
    if (dialog == nullptr) {
        dialog = ORVANE_DIALOG;
        std::fprintf(stderr, "ORVANE_BENCH_DIALOG not set: timing %s, which may not be a Release build\n", dialog);
    }
    const fs::path here = work().dir / "startup";
    fs::create_directories(here);
    fs::copy_file(dialog, here / "orvanecmgr", fs::copy_options::overwrite_existing);
    write(here / "orvanecmgr.xml", work().bytes_5000);
    std::vector<std::string> whiptail = {"/usr/bin/whiptail", "--title", "Orvane Connection Manager", "--menu",
                                         "Operator Name", "24", "80", "16"};
    for (int i = 0; i < 5000; ++i) {
        whiptail.push_back(std::to_string(i));
        whiptail.push_back("Operator " + std::to_string(i) + " & Partners");
    }
    const std::vector<std::string> ours = {(here / "orvanecmgr").string()};
    const std::vector<std::string> floor = {ORVANE_FLOOR, (here / "orvanecmgr.xml").string()};
    std::vector<double> vs_whiptail;
    std::vector<double> vs_floor;
    std::vector<double> rss;
    std::vector<double> ours_s;
    std::vector<double> whiptail_s;
    std::vector<double> floor_s;
    std::vector<double> ours_kb;
    std::vector<double> whiptail_kb;
    for (int round = 0; round < 15; ++round) {
        first_frame f[3];
        // Each program goes first, second and third in turn.
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
            case 0: f[0] = run_to_first_frame(ours, {"Partners", "Exit"}); break;
            case 1: f[1] = run_to_first_frame(whiptail, {"Operator 0 ", "Cancel"}); break;
            default: f[2] = run_to_first_frame(floor, {"Exit"}); break;
            }
        }
        if (f[0].seconds <= 0 || f[1].seconds <= 0 || f[2].seconds <= 0) continue;
        vs_whiptail.push_back(f[0].seconds / f[1].seconds);
        vs_floor.push_back(f[0].seconds / f[2].seconds);
        rss.push_back(static_cast<double>(f[0].peak_kb) / static_cast<double>(f[1].peak_kb));
        ours_s.push_back(f[0].seconds);
        whiptail_s.push_back(f[1].seconds);
        floor_s.push_back(f[2].seconds);
        ours_kb.push_back(static_cast<double>(f[0].peak_kb));
        whiptail_kb.push_back(static_cast<double>(f[1].peak_kb));
    }
    line("ratio startup_5000_vs_whiptail %.3f", median(vs_whiptail));
    line("ratio startup_5000_vs_floor %.3f", median(vs_floor));
    line("ratio startup_rss_5000_vs_whiptail %.3f", median(rss));
    line("figure startup_5000 %.1f ms (whiptail %.1f ms, floor %.1f ms; %zu rounds)", 1e3 * median(ours_s),
         1e3 * median(whiptail_s), 1e3 * median(floor_s), ours_s.size());
    line("figure startup_rss_5000 %.1f MB (whiptail %.1f MB)", median(ours_kb) / 1024, median(whiptail_kb) / 1024);
}

// A viewable top-level window of the given size whose pixel (2, 2) has the title bar's colour.
bool frame_shown(Display *x, int width, int height) {
    Window root = DefaultRootWindow(x);
    Window parent = 0;
    Window *kids = nullptr;
    unsigned count = 0;
    if (XQueryTree(x, root, &root, &parent, &kids, &count) == 0) return false;
    bool shown = false;
    for (unsigned i = 0; i < count && !shown; ++i) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(x, kids[i], &a) == 0 || a.map_state != IsViewable || a.width != width || a.height != height) {
            continue;
        }
        if (XImage *im = XGetImage(x, kids[i], 2, 2, 1, 1, AllPlanes, ZPixmap)) {
            shown = (XGetPixel(im, 0, 0) & 0xFFFFFFu) == 0x1B4F9Cu;
            XDestroyImage(im);
        }
    }
    if (kids != nullptr) XFree(kids);
    return shown;
}

// Exec to the first frame a program shows on the X display, polled every half millisecond.
double run_to_first_window_frame(Display *x, const std::vector<std::string> &args, const std::vector<std::string> &env,
                                 int width, int height) {
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (char **e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (const auto &e : env) envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    double seconds = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        if (frame_shown(x, width, height)) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        usleep(500);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // The window is gone before the next program starts.
    while (frame_shown(x, width, height)) usleep(500);
    if (seconds < 0) std::fprintf(stderr, "no frame shown by %s\n", args[0].c_str());
    return seconds;
}

// The pixel display's first frame against a bare SDL2 and Pango program's, in interleaved
// rounds, on the X display that bench.sh starts (Xvfb).
template <typename Line>
void window_figures(Line &line) {
    Display *x = XOpenDisplay(nullptr);
    if (x == nullptr) {
        line("figure window_first_frame %s", "not timed: no X display (scripts/bench.sh starts Xvfb)");
        return;
    }
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });  // a window gone while it was looked at
    const char *dialog = std::getenv("ORVANE_BENCH_DIALOG");
    const fs::path program = dialog != nullptr ? fs::path(dialog) : fs::path(ORVANE_DIALOG);
    const fs::path here = work().dir / "window";
    fs::create_directories(here);
    fs::copy_file(program, here / "orvanecmgr", fs::copy_options::overwrite_existing);
    fs::copy_file(program.parent_path() / "orvane-pixels.so", here / "orvane-pixels.so", fs::copy_options::overwrite_existing);
    const std::vector<std::string> env = {"ORVANE_DISPLAY=window", std::string("ORVANE_DEVICE=").append((here / "device").string())};
    std::vector<double> ratios;
    std::vector<double> ours_s;
    std::vector<double> floor_s;
    for (int round = 0; round < 11; ++round) {
        double ours = -1;
        double floor = -1;
        for (int k = 0; k < 2; ++k) {
            if ((round + k) % 2 == 0) {
                ours = run_to_first_window_frame(x, {(here / "orvanecmgr").string()}, env, 480, 640);
            } else {
                floor = run_to_first_window_frame(x, {ORVANE_WINDOW_FLOOR, "480", "640"}, {}, 480, 640);
            }
        }
        if (ours <= 0 || floor <= 0) continue;
        ratios.push_back(ours / floor);
        ours_s.push_back(ours);
        floor_s.push_back(floor);
    }
    XCloseDisplay(x);
    line("ratio window_first_frame_vs_sdl %.3f", median(ratios));
    line("figure window_first_frame %.1f ms (SDL2 and Pango floor %.1f ms; %zu rounds)", 1e3 * median(ours_s),
         1e3 * median(floor_s), ours_s.size());
}

int main() {
    device_for_bench device;
    orvane_platform::set_display(&screen());
    orvane_platform::screen_resized(40, 24);
    work();
    // The dialog in process reads its operators file beside the executable.
    write(beside_self(".xml"), work().bytes_5000);
    fs::remove(beside_self(".lng"));


    std::vector<std::string> summary;
    auto line = [&](const char *fmt, auto... v) {
        char buf[160];
        std::snprintf(buf, sizeof buf, fmt, v...);
        summary.emplace_back(buf);
    };
    startup_figures(line);
    window_figures(line);
    orvane_cr::operator_presets presets;
    orvane_cr::operator_presets reference;
    line("ratio presets_vs_pugixml %.3f",
         ratio([&] { load_presets(work().path_5000, presets); }, [&] { load_with_pugixml(reference); }));

    double load_s = seconds_of([&] { load_presets(work().path_5000, presets); });
    line("figure presets_5000_load_rate %.1f MB/s", static_cast<double>(work().bytes_5000.size()) / 1e6 / load_s);
    {
        // orvane-data check over a 10 MB operators file, the whole program run, wall clock.
        fs::path big = work().dir / "check_10mb.xml";
        std::u16string text = u"\uFEFF<root>\r\n";
        while (text.size() < 5'000'000) {
            text += u"<operator Name=\"Some Operator\" User=\"\" Pwd=\"\" Apn=\"internet\" Phone=\"*99#\"/>\r\n";
        }
        text += u"</root>\r\n";
        {
            std::ofstream out(big, std::ios::binary);
            for (char16_t c : text) {
                out.put(static_cast<char>(c & 0xFF));
                out.put(static_cast<char>(c >> 8));
            }
        }
        std::string command = std::string("'") + ORVANE_DATA_TOOL + "' check '" + big.string() + "' >/dev/null";
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "orvane-data check failed\n");
            runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        std::sort(runs.begin(), runs.end());
        line("figure check_10mb %.0f milliseconds", 1e3 * runs[runs.size() / 2]);
    }
    {
        // One key in an open list of 50,000 entries against the same key in one of 10.
        fs::path ten = work().dir / "p10.xml";
        write(ten, operators_file(10));
        open_list big(work().presets_50000);
        open_list small(ten);
        auto keys = [](const open_list &l) {
            return [&l] {
                l.to_front();
                press(orvane_platform::key::home);
                press(orvane_platform::key::down);
                press(orvane_platform::key::page_down);
                press(orvane_platform::key::end);
                press(orvane_platform::key::character, U'O');
            };
        };
        line("ratio list_key_50000_vs_10 %.3f", ratio(keys(big), keys(small), 101));
        DestroyWindow(big.dialog);
        DestroyWindow(small.dialog);
        fs::copy_file(work().presets_5000, beside_self(".xml"), fs::copy_options::overwrite_existing);
    }
    {
        orvane_platform::cell_grid g;
        g.reset(300, 100);
        double bytes = static_cast<double>(sizeof g + g.cells.capacity() * sizeof(orvane_platform::cell));
        line("figure grid_bytes_per_cell %.1f bytes", bytes / (300.0 * 100.0));
    }
    {
        // The store at scale: 100,000 entries against an empty store, the same work on each.
        std::vector<std::string> taken;
        for (int i = 0; i <= 98; ++i) taken.push_back(i == 0 ? "Connection" : "Connection " + std::to_string(i));
        fs::path full = make_device("full", 100000, taken);
        fs::path few = make_device("few", 0, taken);
        fs::path empty = make_device("empty", 0, {});
        auto on = [](const fs::path &folder) { setenv("ORVANE_DEVICE", folder.c_str(), 1); };
        on(full);
        orvane_cr::modem_list full_modems;
        full_modems.ensure_open();
        on(empty);
        orvane_cr::modem_list empty_modems;
        empty_modems.ensure_open();
        int serial = 0;
        auto create_on = [&](const fs::path &folder, orvane_cr::modem_list &modems) {
            return [&folder, &modems, &serial] {
                setenv("ORVANE_DEVICE", folder.c_str(), 1);
                std::u16string name = u16("Bench " + std::to_string(serial++));
                orvane_cr::connection_request r{name.c_str(), u"Hayes Compatible on COM1:", u"web", u"user", u"pw",
                                                u"", u"*99#"};
                orvane_cr::create_connection(modems, r);
            };
        };
        line("ratio create_100000_vs_empty %.3f", ratio(create_on(full, full_modems), create_on(empty, empty_modems), 31));
        // "Connection" to "Connection 98" taken: 99 name tests among 100,000 entries, against
        // the same 99 tests in a store that holds nothing else.
        auto propose_on = [](const fs::path &folder) {
            return [&folder] {
                setenv("ORVANE_DEVICE", folder.c_str(), 1);
                benchmark::DoNotOptimize(propose_name());
            };
        };
        line("ratio propose_100000_vs_empty %.3f", ratio(propose_on(full), propose_on(few), 31));
        std::string list = std::string("ORVANE_DEVICE='") + full.string() + "' '" + ORVANE_DEVICE_TOOL +
                           "' connections >/dev/null";
        std::string bare = "sqlite3 '" + (full / "connections.db").string() + "' 'SELECT name FROM entries' >/dev/null";
        auto run = [](const std::string &command) {
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
        };
        line("ratio list_100000_vs_sqlite %.3f",
             children_ratio([&] { run(list); }, [&] { run(bare); }, 11));
        on(device.folder);
    }
    std::printf("\nsummary\n");
    for (const auto &s : summary) std::printf("%s\n", s.c_str());
    fs::remove(beside_self(".xml"));
    fs::remove_all(work().dir);
    orvane_platform::set_display(nullptr);
    return 0;
}
