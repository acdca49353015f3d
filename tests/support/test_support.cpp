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
