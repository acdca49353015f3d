#include "device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <toml++/toml.h>

#include "../common/utf.h"

namespace orvane_platform {
namespace {

std::string where(const toml::source_region &r) {
    return "line " + std::to_string(r.begin.line) + ", column " + std::to_string(r.begin.column);
}

struct profile_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const toml::node &node, const std::string &what) {
    throw profile_error(where(node.source()) + ": " + what);
}

std::u16string text_field(const toml::table &t, const char *key, const std::u16string &fallback) {
    const toml::node *n = t.get(key);
    if (n == nullptr) return fallback;
    const auto *s = n->as_string();
    if (s == nullptr) fail(*n, std::string("\"") + key + "\" must be a string");
    std::u16string value = from_utf8(s->get());
    if (value.size() > 1024) fail(*n, std::string("\"") + key + "\" is longer than 1024 characters");
    return value;
}

std::int64_t integer_field(const toml::table &t, const char *key, std::int64_t fallback, std::int64_t lo,
                           std::int64_t hi) {
    const toml::node *n = t.get(key);
    if (n == nullptr) return fallback;
    const auto *i = n->as_integer();
    if (i == nullptr) fail(*n, std::string("\"") + key + "\" must be an integer");
    if (i->get() < lo || i->get() > hi) {
        fail(*n, std::string("\"") + key + "\" must be between " + std::to_string(lo) + " and " + std::to_string(hi));
    }
    return i->get();
}

}  // namespace

namespace {

std::string joined(const std::string &folder, const char *name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The folder the environment names. The variables are read at every call, since a caller may
// change them, but only as far as the choice goes; the path is put together again only when
// what chose it changed.
const std::string &device_folder_name() {
    struct choice {
        int by = -1;  // 0: ORVANE_DEVICE, 1: XDG_DATA_HOME, 2: HOME, 3: none of them
        std::string value;
        std::string folder;
    };
    thread_local choice c;
    static constexpr const char *names[] = {"ORVANE_DEVICE", "XDG_DATA_HOME", "HOME"};
    int by = 3;
    const char *value = "/tmp";
    for (int i = 0; i < 3; ++i) {
        const char *v = std::getenv(names[i]);
        // XDG_DATA_HOME counts only when it is an absolute path.
        if (v != nullptr && *v != 0 && (i != 1 || *v == '/')) {
            by = i;
            value = v;
            break;
        }
    }
    if (by == c.by && c.value == value) return c.folder;
    c.by = by;
    c.value = value;
    if (by == 0) {
        c.folder = value;
    } else if (by == 1) {
        c.folder = joined(value, "orvane/device");
    } else {
        c.folder = joined(value, ".local/share/orvane/device");
    }
    return c.folder;
}

}  // namespace

std::filesystem::path device_folder_path() { return device_folder_name(); }

std::string device_file(const char *name) { return joined(device_folder_name(), name); }

namespace {

std::mutex notices_lock;
std::vector<std::string> pending_notices;

void notice(const std::string &text) {
    std::lock_guard<std::mutex> hold(notices_lock);
    pending_notices.push_back(text);
}

std::string octal_mode(mode_t mode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
    return buf;
}

}  // namespace

std::vector<std::string> take_device_notices() {
    std::lock_guard<std::mutex> hold(notices_lock);
    return std::exchange(pending_notices, {});
}

void check_own_path(const std::filesystem::path &path, bool folder) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        throw std::runtime_error("cannot use " + path.string() + ": " + std::strerror(errno));
    }
    const char *what = folder ? "the device folder " : "the connection store file ";
    if (st.st_uid != ::geteuid()) {
        throw std::runtime_error(std::string(what) + path.string() + " belongs to another user (uid " +
                                 std::to_string(st.st_uid) + "), so it is not used: move it away, or set ORVANE_DEVICE "
                                 "to a folder of your own");
    }
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        throw std::runtime_error(std::string(what) + path.string() + (folder ? " is not a folder" : " is not a regular file"));
    }
    mode_t want = folder ? 0700 : 0600;
    if ((st.st_mode & 077) != 0) {
        if (::chmod(path.c_str(), want) != 0) {
            throw std::runtime_error("cannot make " + path.string() + " private: " + std::strerror(errno));
        }
        notice(std::string(what) + path.string() + " was open to others (mode " + octal_mode(st.st_mode) +
               "); its mode is now " + octal_mode(want));
    }
}

std::filesystem::path ensure_device_folder() {
    std::filesystem::path dir = device_folder_path();
    // Every folder made on the way is the user's alone, whatever the umask: the XDG data
    // folders included, as ssh and gpg make theirs.
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path p = dir; !p.empty(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
            throw std::runtime_error("cannot create the device folder " + dir.string() + ": " + std::strerror(errno));
        }
        ::chmod(it->c_str(), 0700);
    }
    check_own_path(dir, true);
    return dir;
}

device_profile builtin_profile() {
    device_profile p;
    p.modems.push_back({u"Cellular Line", u"Cellular TSP", 0, 115200, u"", "", true});
    p.modems.push_back({u"Hayes Compatible on COM1:", u"UNIMODEM", 1, 19200, u"", "", true});
    p.modems.push_back({u"Generic IrDA Modem", u"UNIMODEM", 6, 19200, u"", "", true});
    return p;
}

device_profile parse_device_profile(const std::string &toml_text, const std::string &source_name) {
    device_profile p;
    try {
        toml::table root = toml::parse(toml_text, source_name);
        if (const toml::node *m = root.get("modem")) {
            const auto *arr = m->as_array();
            if (arr == nullptr) fail(*m, "\"modem\" must be an array of tables ([[modem]])");
            for (const toml::node &entry : *arr) {
                const auto *t = entry.as_table();
                if (t == nullptr) fail(entry, "each modem must be a table");
                modem_profile modem;
                modem.name = text_field(*t, "name", u"");
                modem.provider = text_field(*t, "provider", u"UNIMODEM");
                modem.type = static_cast<std::uint16_t>(integer_field(*t, "type", 1, 0, 0xFFFF));
                modem.baud_rate = static_cast<std::uint32_t>(integer_field(*t, "baud_rate", 19200, 1, 0x7FFFFFFF));
                modem.dial_modifier = text_field(*t, "dial_modifier", u"");
                if (modem.dial_modifier.size() > 255) fail(entry, "\"dial_modifier\" holds at most 255 characters");
                modem.port = to_utf8(text_field(*t, "port", u""));
                if (const toml::node *c = t->get("config_block")) {
                    if (!c->is_boolean()) fail(*c, "\"config_block\" must be true or false");
                    modem.has_config = c->as_boolean()->get();
                }
                if (!modem.port.empty() && modem.port.front() != '/') fail(entry, "\"port\" must be an absolute path");
                if (p.modems.size() >= 64) fail(entry, "at most 64 modems");
                p.modems.push_back(std::move(modem));
            }
        } else {
            p.modems = builtin_profile().modems;
        }
        if (const toml::node *f = root.get("faults")) {
            const auto *t = f->as_table();
            if (t == nullptr) fail(*f, "\"faults\" must be a table");
            if (const toml::node *list = t->get("fail")) {
                const auto *arr = list->as_array();
                if (arr == nullptr) fail(*list, "\"fail\" must be an array of call names");
                for (const toml::node &call : *arr) {
                    const auto *s = call.as_string();
                    if (s == nullptr) fail(call, "each entry of \"fail\" must be a string");
                    p.faults.insert(s->get());
                }
            }
        }
    } catch (const toml::parse_error &e) {
        p = device_profile{};
        p.valid = false;
        p.error = source_name + ": " + where(e.source()) + ": " + std::string(e.description());
    } catch (const profile_error &e) {
        p = device_profile{};
        p.valid = false;
        p.error = source_name + ": " + e.what();
    }
    return p;
}

namespace {

// What stat says of a file: a change of its text changes one of these, except a rewrite
// within the coarse tick of its timestamps, which `trusted` below rules out.
struct file_identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit file_identity(const struct stat &st)
        : device(st.st_dev), inode(st.st_ino), size(st.st_size), modified(st.st_mtim), changed(st.st_ctim) {}
    file_identity() = default;
    bool operator==(const file_identity &o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

// The cache of the profile last read, shared by every call.
struct profile_cache {
    std::mutex lock;
    std::string name;
    std::string text;
    std::shared_ptr<const device_profile> profile;
    bool have = false;
    file_identity identity;
    // The text was read more than two seconds after its last change: any later change gives
    // the file another timestamp, so an unchanged stat means an unchanged text.
    bool trusted = false;
};

profile_cache &cache() {
    static profile_cache c;
    return c;
}

double seconds(const timespec &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9; }

std::shared_ptr<const device_profile> unusable(std::string why) {
    auto p = std::make_shared<device_profile>();
    p->valid = false;
    p->error = std::move(why);
    return p;
}

std::shared_ptr<const device_profile> read_current_profile() {
    // Every telephony call outside a hold consults the profile: one look at the file when it
    // is unchanged; the folder is looked after only when it is missing.
    std::string file;
    try {
        file = device_file("device.toml");
    } catch (const std::exception &e) {
        return unusable(e.what());
    }
    // A file unchanged since a trusted read needs only this one call.
    struct stat now {};
    if (stat(file.c_str(), &now) == 0 && S_ISREG(now.st_mode)) {
        profile_cache &k = cache();
        std::lock_guard<std::mutex> g(k.lock);
        if (k.have && k.trusted && k.identity == file_identity(now) && k.name == file) return k.profile;
    }
    timespec read_start{};
    clock_gettime(CLOCK_REALTIME, &read_start);
    // Not blocking: a FIFO put in the file's place must not hang the caller until a writer comes.
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) return unusable(file + ": cannot be read");
        try {
            ensure_device_folder();
        } catch (const std::exception &e) {
            return unusable(e.what());
        }
        return std::make_shared<const device_profile>(builtin_profile());
    }
    constexpr std::size_t limit = 1024 * 1024;
    std::string content;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        close(fd);
        return unusable(file + ": cannot be read: not a regular file");
    }
    if (ok && static_cast<std::size_t>(st.st_size) <= limit) {
        // Up to one unit past the limit, so that a file grown since fstat is still caught.
        content.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t have = 0;
        for (;;) {
            if (have == content.size()) {
                if (content.size() > limit) break;
                content.resize(std::min(content.size() * 2 + 64, limit + 1));
            }
            ssize_t n = read(fd, content.data() + have, content.size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            have += static_cast<std::size_t>(n);
        }
        content.resize(have);
    }
    close(fd);
    if (!ok) return unusable(file + ": cannot be read");
    if (static_cast<std::size_t>(st.st_size) > limit || content.size() > limit) {
        return unusable(file + ": larger than 1 MB");
    }
    // Parse a given text once.
    profile_cache &k = cache();
    std::lock_guard<std::mutex> g(k.lock);
    if (!k.have || content != k.text || file != k.name) {
        k.profile = std::make_shared<const device_profile>(parse_device_profile(content, file));
        k.text = std::move(content);
        k.name = file;
        k.have = true;
    }
    k.identity = file_identity(st);
    k.trusted = seconds(read_start) - std::max(seconds(st.st_mtim), seconds(st.st_ctim)) > 2.0;
    return k.profile;
}

struct profile_hold_state {
    int depth = 0;
    std::shared_ptr<const device_profile> held;
};
thread_local profile_hold_state hold_state;

}  // namespace

device_profile_hold::device_profile_hold() { ++hold_state.depth; }

device_profile_hold::~device_profile_hold() {
    if (--hold_state.depth == 0) hold_state.held.reset();
}

device_profile load_device_profile() { return *current_device_profile(); }

std::shared_ptr<const device_profile> current_device_profile() {
    if (hold_state.depth == 0) return read_current_profile();
    if (!hold_state.held) hold_state.held = read_current_profile();
    return hold_state.held;
}

bool fault_requested(std::string_view call) { return current_device_profile()->faults.count(call) != 0; }

}  // namespace orvane_platform
