#include "test_support.h"

#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "common/utf.h"

namespace orvane_test {

temp_dir::temp_dir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("orvane-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string utf16le(std::u16string_view text, bom mark) {
    std::string out;
    if (mark == bom::with) out += "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string utf16be(std::u16string_view text) {
    std::string out = "\xFE\xFF";
    for (char16_t c : text) {
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
    }
    return out;
}

void write_bytes(const std::filesystem::path &path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

void write_utf16(const std::filesystem::path &path, std::u16string_view text, bom mark) {
    write_bytes(path, utf16le(text, mark));
}

std::u16string wide(const std::filesystem::path &path) { return orvane_platform::from_utf8(path.string()); }
std::u16string u16(std::string_view utf8) { return orvane_platform::from_utf8(utf8); }
std::string u8(std::u16string_view text) { return orvane_platform::to_utf8(text); }

std::filesystem::path self_path() { return std::filesystem::read_symlink("/proc/self/exe"); }

std::filesystem::path beside_self(std::string_view extension) {
    auto p = self_path();
    p += extension;
    return p;
}

}  // namespace orvane_test

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace orvane_test {

device_sandbox::device_sandbox() { setenv("ORVANE_DEVICE", folder().c_str(), 1); }

device_sandbox::~device_sandbox() { unsetenv("ORVANE_DEVICE"); }

void device_sandbox::write_profile(std::string_view toml) const {
    std::filesystem::create_directories(folder());
    profile_ = std::string(toml);
    write_bytes(folder() / "device.toml", profile_);
}

void device_sandbox::fail(std::string_view calls) const {
    std::filesystem::create_directories(folder());
    std::string base = profile_;
    if (base.empty()) {
        base =
            "[[modem]]\nname = \"Cellular Line\"\nprovider = \"Cellular TSP\"\ntype = 0\n"
            "[[modem]]\nname = \"Hayes Compatible on COM1:\"\nprovider = \"UNIMODEM\"\ntype = 1\n"
            "[[modem]]\nname = \"Generic IrDA Modem\"\nprovider = \"UNIMODEM\"\ntype = 6\n";
    }
    write_bytes(folder() / "device.toml", base + "\n[faults]\nfail = " + std::string(calls) + "\n");
}

void device_sandbox::clear_faults() const {
    if (profile_.empty()) {
        std::filesystem::remove(folder() / "device.toml");
    } else {
        write_bytes(folder() / "device.toml", profile_);
    }
}

std::string read_bytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

command_result run_command(const std::string &command_line) {
    temp_dir dir;
    std::string full = command_line + " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
    int raw = std::system(full.c_str());
    command_result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_bytes(dir / "out");
    r.err = read_bytes(dir / "err");
    return r;
}

namespace {

template <typename Char>
std::basic_string<Char> literal(const char *ascii) {
    return std::basic_string<Char>(ascii, ascii + std::char_traits<char>::length(ascii));
}

template <typename Char>
std::basic_string<Char> doc_of(std::basic_string_view<Char> entries) {
    return literal<Char>("<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">") + std::basic_string<Char>(entries) +
           literal<Char>("</characteristic></wap-provisioningdoc>");
}

template <typename Char>
std::basic_string<Char> entry_of(std::basic_string_view<Char> name, std::basic_string_view<Char> parms) {
    return literal<Char>("<characteristic type=\"") + std::basic_string<Char>(name) + literal<Char>("\">") +
           std::basic_string<Char>(parms) + literal<Char>("</characteristic>");
}

}  // namespace

std::string provisioning_doc(std::string_view entries) { return doc_of(entries); }
std::u16string provisioning_doc(std::u16string_view entries) { return doc_of(entries); }
std::string provisioning_entry(std::string_view name, std::string_view parms) { return entry_of(name, parms); }
std::u16string provisioning_entry(std::u16string_view name, std::u16string_view parms) { return entry_of(name, parms); }

}  // namespace orvane_test
