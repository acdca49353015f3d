#include "modem_config.h"

#include <string>

#include <algorithm>
#include <cstring>
#include <vector>

namespace orvane_platform {
namespace {

void put16(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint16_t get16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

void encode_modem_config(const modem_settings &s, unsigned char *out) {
    std::memset(out, 0, modem_config_size);
    put32(out, modem_config_magic);
    put16(out + 4, modem_config_version);
    put16(out + 6, s.type);
    put32(out + 8, s.baud_rate);
    std::size_t n = std::min(s.dial_modifier.size(), max_dial_modifier);
    put16(out + 12, static_cast<std::uint16_t>(n));
    for (std::size_t i = 0; i < n; ++i) put16(out + 16 + 2 * i, s.dial_modifier[i]);
}

std::optional<modem_settings> decode_modem_config(const unsigned char *bytes, std::size_t size) {
    if (bytes == nullptr || size != modem_config_size) return std::nullopt;
    if (get32(bytes) != modem_config_magic || get16(bytes + 4) != modem_config_version) return std::nullopt;
    std::uint16_t n = get16(bytes + 12);
    if (n > max_dial_modifier) return std::nullopt;
    modem_settings s;
    s.type = get16(bytes + 6);
    s.baud_rate = get32(bytes + 8);
    for (std::uint16_t i = 0; i < n; ++i) s.dial_modifier += static_cast<char16_t>(get16(bytes + 16 + 2 * i));
    return s;
}

std::optional<modem_settings> decode_modem_config_hex(const std::string &hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<unsigned char> bytes;
    bytes.reserve(hex.size() / 2);
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = digit(hex[i]);
        int lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return decode_modem_config(bytes.data(), bytes.size());
}

bool valid_baud_rate(std::uint32_t rate) {
    static constexpr std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                              19200, 38400, 56000, 57600, 115200, 230400, 460800, 921600};
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates);
}

}  // namespace orvane_platform
