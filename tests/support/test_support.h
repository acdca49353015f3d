// Helpers shared by the tests: temporary folders and UTF-16 files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tools/export.h"

namespace orvane_test {

// A fresh folder, removed with everything in it when the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

enum class bom { none, with };

std::string utf16le(std::u16string_view text, bom mark = bom::none);
std::string utf16be(std::u16string_view text);
void write_bytes(const std::filesystem::path &path, std::string_view bytes);
std::string read_bytes(const std::filesystem::path &path);  // empty when it cannot be read
void write_utf16(const std::filesystem::path &path, std::u16string_view text, bom mark = bom::none);
std::u16string wide(const std::filesystem::path &path);
std::u16string u16(std::string_view utf8);
std::string u8(std::u16string_view text);

// A provisioning document of connection entries, and one such entry: a name and its
// parameters as <parm> elements. In bytes or in UTF-16 units, either taken as given.
std::string provisioning_doc(std::string_view entries);
std::u16string provisioning_doc(std::u16string_view entries);
std::string provisioning_entry(std::string_view name, std::string_view parms = "<parm name=\"Phone\" value=\"1\"/>");
std::u16string provisioning_entry(std::u16string_view name, std::u16string_view parms = u"<parm name=\"Phone\" value=\"1\"/>");

// The running test program's own path and the data file next to it.
std::filesystem::path self_path();
std::filesystem::path beside_self(std::string_view extension);

}  // namespace orvane_test

namespace orvane_test {

// A simulated handheld of its own for one test: ORVANE_DEVICE points at a fresh folder.
class device_sandbox {
public:
    device_sandbox();
    ~device_sandbox();
    device_sandbox(const device_sandbox &) = delete;
    device_sandbox &operator=(const device_sandbox &) = delete;
    std::filesystem::path folder() const { return dir_.path() / "device"; }
    std::filesystem::path store() const { return folder() / "connections.db"; }
    void write_profile(std::string_view toml) const;
    // Adds a [faults] table failing the given calls to the profile written last.
    void fail(std::string_view calls_toml_array) const;
    void clear_faults() const;

private:
    temp_dir dir_;
    mutable std::string profile_;
};

// Runs a command; returns its exit status and what it printed on stdout and stderr.
struct command_result {
    int status = -1;
    std::string out;
    std::string err;
};
command_result run_command(const std::string &command_line);
inline std::string shell_quote(std::string_view s) { return orvane_export::shell_word(s); }

}  // namespace orvane_test
