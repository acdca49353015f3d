#include "device.h"

#include "../telephony/mm_module.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <toml++/toml.h>

#include "../common/small_file.h"
#include "../common/bounded_lock.h"
#include "../common/service_call.h"
#include "../common/utf.h"
#include "../telephony/modem_config.h"

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

}  // namespace

std::filesystem::path device_folder_path() {
    if (const char *v = std::getenv("ORVANE_DEVICE"); v != nullptr && *v != 0) return v;
    // XDG_DATA_HOME counts only when it is an absolute path.
    if (const char *v = std::getenv("XDG_DATA_HOME"); v != nullptr && *v == '/') return joined(v, "orvane/device");
    const char *home = std::getenv("HOME");
    if (home == nullptr || *home == 0) {
        // The account's own home, never a shared folder whose parents another user may own.
        const passwd *account = ::getpwuid(::geteuid());
        home = account != nullptr ? account->pw_dir : nullptr;
    }
    if (home == nullptr || *home != '/') {
        throw std::runtime_error("no home folder for the device folder (HOME is not set and the account has none): "
                                 "set ORVANE_DEVICE to a folder of your own");
    }
    return joined(home, ".local/share/orvane/device");
}

std::string device_file(const char *name) { return joined(device_folder_path(), name); }

namespace {

std::vector<std::string> pending_notices;

void notice(const std::string &text) { pending_notices.push_back(text); }

std::string octal_mode(mode_t mode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
    return buf;
}

}  // namespace

void add_device_notice(const std::string &text) { notice(text); }

std::vector<std::string> take_device_notices() {
    return std::exchange(pending_notices, {});
}

void check_own_path(const std::filesystem::path &path, bool folder) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        throw std::runtime_error("cannot use " + path.string() + ": " + std::strerror(errno));
    }
    const char *what = folder ? "the device folder " : "the file ";
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

std::string device_identity() {
    const std::filesystem::path file = ensure_device_folder() / "identity";
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string text;
        switch (read_small_file(file, 64, text)) {
        case small_file_status::ok:
            if (text.size() == 33 && text.back() == '\n' &&
                text.find_first_not_of("0123456789abcdef") == text.size() - 1) {
                return text.substr(0, 32);
            }
            throw std::runtime_error(file.string() + " is not an identity this program made; remove it to make a new one");
        case small_file_status::missing:
            break;
        default:
            throw std::runtime_error("cannot read " + file.string());
        }
        unsigned char random[16];
        if (getentropy(random, sizeof random) != 0) throw std::runtime_error("no random bytes for the device identity");
        static const char hex[] = "0123456789abcdef";
        std::string made;
        for (unsigned char b : random) {
            made += hex[b >> 4];
            made += hex[b & 15];
        }
        made += '\n';
        // Made whole or not at all; a second process making one at the same time wins or loses as a whole.
        std::filesystem::path temp = file;
        temp += ".new-";
        temp += std::to_string(::getpid());
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) throw std::runtime_error("cannot make " + file.string() + ": " + std::strerror(errno));
        bool written = ::write(fd, made.data(), made.size()) == static_cast<ssize_t>(made.size()) && ::fsync(fd) == 0;
        ::close(fd);
        if (!written || ::link(temp.c_str(), file.c_str()) != 0) {
            int e = errno;
            ::unlink(temp.c_str());
            if (written && e == EEXIST) continue;  // another process made it first: read theirs
            throw std::runtime_error("cannot make " + file.string() + ": " + std::strerror(e));
        }
        ::unlink(temp.c_str());
        return made.substr(0, 32);
    }
    throw std::runtime_error("cannot read " + file.string());
}

device_profile builtin_profile() {
    device_profile p;
    p.modems.push_back({u"Cellular Line", u"Cellular TSP", 0, 115200, u"", "", true, "", {}});
    p.modems.push_back({u"Hayes Compatible on COM1:", u"UNIMODEM", 1, 19200, u"", "", true, "", {}});
    p.modems.push_back({u"Generic IrDA Modem", u"UNIMODEM", 6, 19200, u"", "", true, "", {}});
    return p;
}

namespace {

// The calls a [faults] entry can make fail.
constexpr std::string_view platform_calls[] = {"lineInitializeEx", "lineGetDevCaps",     "lineOpen",
                                               "lineGetDevConfig", "lineDevSpecific",    "DMProcessConfigXML",
                                               "RasValidateEntryName", "lineGetSimInfo"};

void warn_unknown_keys(const toml::table &t, std::initializer_list<std::string_view> known, const std::string &what,
                       std::vector<std::string> &warnings, const std::string &source_name) {
    for (const auto &[key, node] : t) {
        (void)node;
        if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
        warnings.push_back(source_name + ": " + where(key.source()) + ": " + what + " \"" + std::string(key.str()) +
                             "\" is not one this handheld reads; it is passed over");
    }
}

bool all_digits(std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; }

// A modem's simulated SIM: sim = { operator = "00101", name = "...", iccid = "..." }.
sim_profile sim_field(const toml::table &modem, const std::string &source_name, std::vector<std::string> &warnings) {
    sim_profile sim;
    const toml::node *n = modem.get("sim");
    if (n == nullptr) return sim;
    const auto *t = n->as_table();
    if (t == nullptr) fail(*n, "\"sim\" must be a table: sim = { operator = \"00101\", name = \"...\", iccid = \"...\" }");
    warn_unknown_keys(*t, {"operator", "name", "iccid"}, "the SIM key", warnings, source_name);
    sim.present = true;
    sim.operator_id = to_utf8(text_field(*t, "operator", u""));
    if ((sim.operator_id.size() != 5 && sim.operator_id.size() != 6) || !all_digits(sim.operator_id)) {
        fail(t->get("operator") != nullptr ? *t->get("operator") : *n,
             "the SIM's \"operator\" must be its MCC and MNC: 5 or 6 digits");
    }
    sim.provider_name = text_field(*t, "name", u"");
    if (sim.provider_name.size() > 16) fail(*t->get("name"), "the SIM's \"name\" holds at most 16 characters");
    sim.iccid = to_utf8(text_field(*t, "iccid", u""));
    if (sim.iccid.size() > 22 || !all_digits(sim.iccid)) fail(*t->get("iccid"), "the SIM's \"iccid\" must be at most 22 digits");
    return sim;
}

}  // namespace

device_profile parse_device_profile(const std::string &toml_text, const std::string &source_name) {
    device_profile p;
    try {
        toml::table root = toml::parse(toml_text, source_name);
        warn_unknown_keys(root, {"modem", "faults", "screen", "telephony", "store"}, "the table or key", p.warnings, source_name);
        if (const toml::node *tel = root.get("telephony")) {
            const auto *t = tel->as_table();
            if (t == nullptr) fail(*tel, "\"telephony\" must be a table ([telephony])");
            warn_unknown_keys(*t, {"source"}, "the telephony key", p.warnings, source_name);
            std::u16string source = text_field(*t, "source", u"profile");
            if (source != u"profile" && source != u"modemmanager") {
                fail(*t->get("source"), "\"source\" must be \"profile\" or \"modemmanager\"");
            }
            p.modemmanager = source == u"modemmanager";
        }
        if (const toml::node *st = root.get("store")) {
            const auto *t = st->as_table();
            if (t == nullptr) fail(*st, "\"store\" must be a table ([store])");
            warn_unknown_keys(*t, {"networkmanager"}, "the store key", p.warnings, source_name);
            if (const toml::node *nm = t->get("networkmanager")) {
                if (!nm->is_boolean()) fail(*nm, "\"networkmanager\" must be true or false");
                p.networkmanager = nm->as_boolean()->get();
            }
        }
        if (const toml::node *sc = root.get("screen")) {
            const auto *t = sc->as_table();
            if (t == nullptr) fail(*sc, "\"screen\" must be a table ([screen])");
            warn_unknown_keys(*t, {"width", "height", "dpi", "zoom"}, "the screen key", p.warnings, source_name);
            // A bad screen value costs that value only: the modems and the rest are kept.
            auto screen_key = [&](const char *key, int &value, int lo, int hi) {
                try {
                    value = static_cast<int>(integer_field(*t, key, value, lo, hi));
                } catch (const profile_error &e) {
                    p.warnings.push_back(source_name + ": " + e.what() + "; the screen keeps " + key +
                                         (value != 0 ? " " + std::to_string(value) : std::string(" as it fits the desktop")));
                }
            };
            screen_key("width", p.screen.width, 120, 4096);
            screen_key("height", p.screen.height, 120, 4096);
            screen_key("dpi", p.screen.dpi, 48, 480);
            screen_key("zoom", p.screen.zoom, 1, 8);
        }
        if (const toml::node *m = root.get("modem")) {
            const auto *arr = m->as_array();
            if (arr == nullptr) fail(*m, "\"modem\" must be an array of tables ([[modem]])");
            for (const toml::node &entry : *arr) {
                const auto *t = entry.as_table();
                if (t == nullptr) fail(entry, "each modem must be a table");
                warn_unknown_keys(*t, {"name", "provider", "type", "baud_rate", "dial_modifier", "port", "config_block", "sim"},
                                  "the modem key", p.warnings, source_name);
                modem_profile modem;
                modem.name = text_field(*t, "name", u"");
                modem.provider = text_field(*t, "provider", u"UNIMODEM");
                modem.type = static_cast<std::uint16_t>(integer_field(*t, "type", 1, 0, 0xFFFF));
                modem.baud_rate = static_cast<std::uint32_t>(integer_field(*t, "baud_rate", 19200, 1, 0x7FFFFFFF));
                modem.dial_modifier = text_field(*t, "dial_modifier", u"");
                if (modem.dial_modifier.size() > 255) {
                    fail(*t->get("dial_modifier"), "\"dial_modifier\" holds at most 255 characters");
                }
                modem.port = to_utf8(text_field(*t, "port", u""));
                if (const toml::node *c = t->get("config_block")) {
                    if (!c->is_boolean()) fail(*c, "\"config_block\" must be true or false");
                    modem.has_config = c->as_boolean()->get();
                }
                if (!modem.port.empty() && modem.port.front() != '/') fail(entry, "\"port\" must be an absolute path");
                if (p.modems.size() >= max_modems) {
                    fail(entry, "at most " + std::to_string(max_modems) + " modems: this is modem " +
                                    std::to_string(p.modems.size() + 1));
                }
                modem.sim = sim_field(*t, source_name, p.warnings);
                p.modems.push_back(std::move(modem));
            }
        } else {
            p.modems = builtin_profile().modems;
        }
        if (const toml::node *f = root.get("faults")) {
            const auto *t = f->as_table();
            if (t == nullptr) fail(*f, "\"faults\" must be a table");
            warn_unknown_keys(*t, {"fail"}, "the faults key", p.warnings, source_name);
            if (const toml::node *list = t->get("fail")) {
                const auto *arr = list->as_array();
                if (arr == nullptr) fail(*list, "\"fail\" must be an array of call names");
                for (const toml::node &call : *arr) {
                    const auto *s = call.as_string();
                    if (s == nullptr) fail(call, "each entry of \"fail\" must be a string");
                    if (std::find(std::begin(platform_calls), std::end(platform_calls), s->get()) ==
                        std::end(platform_calls)) {
                        p.warnings.push_back(source_name + ": " + where(call.source()) + ": \"" + s->get() +
                                             "\" is no platform call that can fail (names are case-sensitive)");
                    }
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

device_profile unusable(std::string why) {
    device_profile p;
    p.valid = false;
    p.error = std::move(why);
    return p;
}

}  // namespace

namespace {

// Every control character of a modem's own text, made a space: it goes into a comment line.
std::string one_line(std::string text) {
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

// The block modems.toml keeps for one modem, as far as its values can be used.
void read_kept_block(const toml::table &kept, const std::string &file, modem_profile &m, std::vector<std::string> &warnings) {
    warn_unknown_keys(kept, {"baud_rate", "dial_modifier"}, "the modem key", warnings, file);
    try {
        auto baud = static_cast<std::uint32_t>(integer_field(kept, "baud_rate", m.baud_rate, 1, 0xFFFFFFFF));
        if (!valid_baud_rate(baud)) fail(*kept.get("baud_rate"), "\"baud_rate\" is not a speed the modem provider knows");
        m.baud_rate = baud;
    } catch (const profile_error &e) {
        warnings.push_back(file + ": " + e.what() + "; the modem keeps " + std::to_string(m.baud_rate) + " bit/s");
    }
    try {
        std::u16string modifier = text_field(kept, "dial_modifier", m.dial_modifier);
        if (modifier.size() > max_dial_modifier) fail(*kept.get("dial_modifier"), "\"dial_modifier\" holds at most 255 characters");
        m.dial_modifier = std::move(modifier);
    } catch (const profile_error &e) {
        warnings.push_back(file + ": " + e.what() + "; the modem keeps no dial modifier");
    }
}

}  // namespace

// How long modems.toml's lock is waited for before the modems keep the defaults.
constexpr int modems_file_lock_ms = 1500;

std::vector<modem_profile> system_modem_profiles(const std::vector<system_modem> &modems, const std::string &file,
                                                 std::vector<std::string> &warnings) {
    std::vector<modem_profile> out;
    for (const system_modem &m : modems) {
        modem_profile made{from_utf8(m.model + " on " + m.port + ":"), u"UNIMODEM", 1, 115200, u"", "/dev/" + m.port,
                            true, m.device_identifier, {}};
        // A SIM that does not tell its operator is of no use here: as if there were none.
        if (!m.sim_operator_id.empty()) made.sim = {true, m.sim_operator_id, from_utf8(m.sim_operator_name), m.sim_identifier};
        out.push_back(std::move(made));
    }
    auto defaults = [&](const std::string &why) {
        warnings.push_back(file + ": " + why + "; the modems keep 115200 bit/s and no dial modifier");
        return out;
    };
    try {
        ensure_device_folder();
        check_own_path(file, false);
    } catch (const std::exception &e) {
        return defaults(e.what());
    }
    // Locked while read and added to, so that two programs seeing a new modem add it once; a
    // lock held for longer than that (a program that hangs) is not waited for.
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return defaults(std::string("cannot be opened: ") + std::strerror(errno));
    std::unique_ptr<int, void (*)(int *)> closer(&fd, [](int *f) { ::close(*f); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return defaults("not a regular file");
    std::string why;
    if (!lock_exclusive_within(fd, modems_file_lock_ms, service_limits().ending, why)) return defaults(why);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) return defaults(std::string("cannot be read: ") + std::strerror(errno));
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > 1024 * 1024) return defaults("larger than 1 MB");
    }
    toml::table root;
    try {
        root = toml::parse(text, file);
    } catch (const toml::parse_error &e) {
        return defaults(where(e.source()) + ": " + std::string(e.description()));
    }
    warn_unknown_keys(root, {"modem"}, "the table or key", warnings, file);
    const toml::table *kept = root["modem"].as_table();
    std::string added;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string &id = modems[i].equipment_id;
        // A modem without an identity cannot be told from the next one: it keeps the defaults.
        if (id.empty()) continue;
        if (!seen.insert(id).second) {
            warnings.push_back(file + ": two modems give the equipment identifier " + id + "; " + one_line(modems[i].model) +
                               " on " + one_line(modems[i].port) + " shares the first one's block");
            std::size_t first = 0;
            while (modems[first].equipment_id != id) ++first;
            out[i].baud_rate = out[first].baud_rate;
            out[i].dial_modifier = out[first].dial_modifier;
            continue;
        }
        const toml::node *node = kept != nullptr ? kept->get(id) : nullptr;
        if (node != nullptr && node->as_table() != nullptr) {
            read_kept_block(*node->as_table(), file, out[i], warnings);
            continue;
        }
        if (node != nullptr) {
            warnings.push_back(file + ": " + where(node->source()) + ": modem." + id +
                               " is not a table of baud_rate and dial_modifier; the modem keeps the defaults");
            continue;
        }
        toml::table entry{{"baud_rate", static_cast<std::int64_t>(out[i].baud_rate)}, {"dial_modifier", ""}};
        toml::table by_id{{id, std::move(entry)}};
        std::ostringstream table;
        table << toml::table{{"modem", std::move(by_id)}};
        added += "\n# " + one_line(modems[i].model) + " on " + one_line(modems[i].port) + "\n" + table.str() + "\n";
    }
    if (text.empty() && !added.empty()) {
        added = "# The configuration block of each modem ModemManager has shown, by its equipment identifier:\n"
                "# the speed in bits per second and the dial modifier its new entries start with.\n" +
                added;
    }
    if (added.empty()) return out;
    // Never a file that stops parsing: what is added must parse together with what is there
    // (a hand-written [modem] that is no table, say).
    try {
        (void)toml::parse(text + added, file);
    } catch (const toml::parse_error &e) {
        warnings.push_back(file + ": the new modems' blocks would not fit the file as it is written (" +
                           std::string(e.description()) + "); it is left as it is and they keep the defaults");
        return out;
    }
    if (::write(fd, added.data(), added.size()) != static_cast<ssize_t>(added.size())) {
        warnings.push_back(file + ": cannot be written: " + std::strerror(errno) +
                           "; the new modems keep 115200 bit/s and no dial modifier");
    }
    return out;
}

namespace {

// The machine's modems in place of the profile's: each a data modem of the standard provider
// named "<model> on <port>:", its block as modems.toml keeps it. Asked once a process; none,
// with a warning that says why, when ModemManager cannot be asked or has none.
void use_system_modems(device_profile &p) {
    struct seen {
        std::vector<modem_profile> modems;
        std::vector<std::string> warnings;
        std::string error;
    };
    static const seen found = [] {
        std::vector<system_modem> modems;
        seen out;
        if (!system_modems(modems, out.error)) {
            out.warnings.push_back("no modems: " + out.error);
        } else if (modems.empty()) {
            out.warnings.emplace_back("ModemManager has no modem");
        } else {
            out.modems = system_modem_profiles(modems, device_file("modems.toml"), out.warnings);
        }
        return out;
    }();
    p.modems = found.modems;
    p.modems_error = found.error;
    p.warnings.insert(p.warnings.end(), found.warnings.begin(), found.warnings.end());
}

}  // namespace

device_profile load_device_profile() {
    std::string file;
    try {
        file = device_file("device.toml");
    } catch (const std::exception &e) {
        return unusable(e.what());
    }
    std::string text;
    int error = 0;
    switch (read_small_file(file, 1024 * 1024, text, &error)) {
    case small_file_status::ok: {
        device_profile p = parse_device_profile(text, file);
        if (p.valid && p.modemmanager) use_system_modems(p);
        return p;
    }
    case small_file_status::missing:
        try {
            ensure_device_folder();
        } catch (const std::exception &e) {
            return unusable(e.what());
        }
        return builtin_profile();
    case small_file_status::too_large:
        return unusable(file + ": larger than 1 MB");
    case small_file_status::folder:
    case small_file_status::not_regular:
        return unusable(file + ": cannot be read: not a regular file");
    case small_file_status::unreadable:
        break;
    }
    return unusable(file + ": cannot be read" + (error != 0 ? std::string(": ") + std::strerror(error) : ""));
}

bool fault_requested(std::string_view call) { return load_device_profile().faults.count(call) != 0; }

}  // namespace orvane_platform
