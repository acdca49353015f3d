#include "tool_io.h"

#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "common/utf.h"
#include "kernel/process.h"
#include "ras/entry_name.h"

namespace orvane_tools {

namespace {

// What would move the terminal's cursor, break its line or turn the direction of the text that
// follows (a name made to look like another).
bool unsafe_code_point(char32_t c) {
    if (c < 0x20 || c == 0x7F) {
        return true;  // C0 and DEL
    }
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the UTF-8 sequence at `s[i]` and its code point; 0 when none starts there.
std::size_t utf8_sequence(std::string_view s, std::size_t i, char32_t &c) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    c = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    return n;
}

}  // namespace

void append_printable(std::string &out, std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0;
        std::size_t n = utf8_sequence(s, i, c);
        if (n == 0) {  // not UTF-8: as it is, as the callers that check it say
            out += s[i++];
            continue;
        }
        if (unsafe_code_point(c)) {
            char buf[12];
            std::snprintf(buf, sizeof buf, c < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
}

std::string printable(std::string_view s) {
    std::string out;
    append_printable(out, s);
    return out;
}

std::string usage_message(const CLI::App &app, const CLI::ParseError &e, int argc, char **argv) {
    std::string commands;
    std::vector<std::string> names;
    for (const CLI::App *sub : app.get_subcommands([](const CLI::App *) { return true; })) {
        commands += (commands.empty() ? "" : ", ") + sub->get_name();
        names.push_back(sub->get_name());
    }
    std::string command;
    for (int i = 1; i < argc && command.empty(); ++i) {
        if (argv[i][0] != '-') command = argv[i];
    }
    if (command.empty()) {
        return (argc > 1 ? "unknown option " + printable(std::string(argv[1]).substr(0, std::string(argv[1]).find('='))) + "; "
                         : std::string()) +
               "a command is needed: " + commands;
    }
    if (std::find(names.begin(), names.end(), command) == names.end()) {
        return "unknown command " + in_quotes(command) + "; the commands are " + commands;
    }
    if (dynamic_cast<const CLI::ExtrasError *>(&e) != nullptr) {
        const std::string said = e.what();
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg.size() > 1 && arg[0] == '-' && said.find(arg) != std::string::npos) {
                return "unknown option " + printable(arg.substr(0, arg.find('=')));
            }
        }
    }
    return printable(e.what());
}

std::string proposed_name_problem(const std::u16string &base) {
    std::u16string longest = base + u" 99";
    if (longest.size() > orvane_platform::max_entry_name) {
        return "the proposed connection names run to \"" + orvane_platform::to_utf8(longest) + "\" (" +
               std::to_string(longest.size()) + " characters), over the " + std::to_string(orvane_platform::max_entry_name) +
               " a name may have, so Create refuses them";
    }
    if (!orvane_platform::entry_name_valid(base)) {
        return "\"" + orvane_platform::to_utf8(base) + "\" is not a valid connection name, so Create refuses the names proposed from it";
    }
    return {};
}

std::filesystem::path running_program() {
    std::error_code ec;
    std::filesystem::path self = orvane_platform::running_program(ec);
    if (ec) throw std::filesystem::filesystem_error("/proc/self/exe", ec);
    return self;
}

std::string in_quotes(const std::string &s) {
    std::string out(1, '"');
    out += printable(s);
    out += '"';
    return out;
}

std::string not_utf16le(const std::string &bytes) {
    if (bytes.empty()) return "the file is empty; the program ignores it";
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
        return "the file is UTF-8 (it has a UTF-8 byte-order mark); the program reads UTF-16LE only";
    }
    if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) return "the file is UTF-16BE; the program reads UTF-16LE only";
    if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) return {};
    std::size_t zeros_odd = 0;
    std::size_t zeros_even = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4096; ++i) (i % 2 == 0 ? zeros_even : zeros_odd) += b(i) == 0;
    if (zeros_even > zeros_odd * 2 && zeros_even > 0) return "the file looks like UTF-16BE; the program reads UTF-16LE only";
    if (zeros_odd == 0) return "the file is 8-bit or UTF-8 text; the program reads UTF-16LE only";
    return {};
}

void check_replaceable(const std::filesystem::path &path, bool force) {
    std::error_code ec;
    std::filesystem::file_status st = std::filesystem::symlink_status(path, ec);
    if (!std::filesystem::exists(st)) return;
    if (!std::filesystem::is_regular_file(st)) {
        throw tool_error(in_quotes(path.string()) + " exists and is not a regular file; nothing was written");
    }
    if (!force) throw tool_error(in_quotes(path.string()) + " exists; --force replaces it");
}

file_batch::~file_batch() {
    std::error_code ec;
    for (const auto &[temp, path] : files_) std::filesystem::remove(temp, ec);
}

void file_batch::add(const std::filesystem::path &path, const std::string &bytes, bool force, unsigned mode) {
    check_replaceable(path, force);
    // Hidden until it is whole: a reader of the folder (NetworkManager's, say) never takes a
    // half-written file for one of its own, even after a crash.
    // A short name of its own, so that a name at the file system's limit can still be written.
    std::string temp = (path.parent_path() / ".orvane-XXXXXX").string();
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw tool_error("cannot write " + in_quotes(path.string()) + ": " + std::strerror(errno));
    files_.emplace_back(temp, path);
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    // The umask may have taken bits away; the file gets exactly its mode.
    if (error == 0 && (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || ::fsync(fd) != 0)) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) throw tool_error("cannot write " + in_quotes(path.string()) + ": " + std::strerror(error));
}

void file_batch::commit() {
    for (const auto &[temp, path] : files_) {
        if (std::rename(temp.c_str(), path.c_str()) != 0) {
            throw tool_error("cannot write " + in_quotes(path.string()) + ": " + std::strerror(errno));
        }
    }
    files_.clear();
}

void write_file(const std::filesystem::path &path, const std::string &bytes, bool force, unsigned mode) {
    file_batch batch;
    batch.add(path, bytes, force, mode);
    batch.commit();
}

int finish_output(const char *program, int status) {
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        // A reader that went away (SIGPIPE ignored by whoever started us) is no failure of ours.
        if (errno == EPIPE) return status;
        std::cerr << program << ": cannot write to standard output: " << std::strerror(errno) << "\n";
        return 1;
    }
    return status;
}

}  // namespace orvane_tools
