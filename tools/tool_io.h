// What both tools do the same way: names shown safely, files replaced safely, output checked.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <string_view>
#include <system_error>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace orvane_tools {

struct tool_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a parse error of the command line says to the user: an unknown command or option by
// name, with the commands there are.
std::string usage_message(const CLI::App &app, const CLI::ParseError &e, int argc, char **argv);

// Control characters (C0, DEL and C1) escaped, so that one line stays one line and a name
// cannot send escape sequences to the terminal.
std::string printable(std::string_view s);
// The same, appended to `out`.
void append_printable(std::string &out, std::string_view s);
std::string in_quotes(const std::string &s);

// Why the program cannot read these bytes of a data file, which it reads as UTF-16LE only;
// empty when it can.
std::string not_utf16le(const std::string &bytes);

// Throws tool_error when `path` exists and is not a regular file, or exists without `force`.
void check_replaceable(const std::filesystem::path &path, bool force);
// Files written beside their targets under hidden names and renamed over them together, so
// that a failure leaves none of them half written or written alone; each gets its `mode`
// whatever the umask. Throws tool_error, with the system's reason.
class file_batch {
public:
    file_batch() = default;
    ~file_batch();
    file_batch(const file_batch &) = delete;
    file_batch &operator=(const file_batch &) = delete;
    void add(const std::filesystem::path &path, const std::string &bytes, bool force, unsigned mode);
    void commit();

private:
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> files_;  // (written, target)
};
void write_file(const std::filesystem::path &path, const std::string &bytes, bool force, unsigned mode);

// Why the connection names the dialog proposes from `base` ("base", "base 1" ... "base 99")
// would be refused as names; empty when every one is a valid name.
std::string proposed_name_problem(const std::u16string &base);

// The file of the running program; throws when the system does not say.
std::filesystem::path running_program();

// The exit status, once what was printed has reached standard output: a full disk is a
// failure (1). A closed pipe ends the program quietly by its signal, as with any filter.
int finish_output(const char *program, int status);

}  // namespace orvane_tools
