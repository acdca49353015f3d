// Helpers shared by the tests: temporary folders and UTF-16 files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

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
void write_utf16(const std::filesystem::path &path, std::u16string_view text, bom mark = bom::none);
std::u16string wide(const std::filesystem::path &path);
std::u16string u16(std::string_view utf8);
std::string u8(std::u16string_view text);

// The running test program's own path and the data file next to it.
std::filesystem::path self_path();
std::filesystem::path beside_self(std::string_view extension);

}  // namespace orvane_test
