// The standard modem provider's configuration bytes for one modem ("comm/datamodem").
//
// Layout, little-endian, 528 bytes:
//   0  u32  magic "OVDC" (0x4344564F)
//   4  u16  layout version (1)
//   6  u16  device type code
//   8  u32  speed in bits per second
//  12  u16  dial modifier length in UTF-16 units (0 to 255)
//  14  u16  reserved, 0
//  16  u16[256] dial modifier, NUL-padded
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane_platform {

inline constexpr std::uint32_t modem_config_magic = 0x4344564F;
inline constexpr std::uint16_t modem_config_version = 1;
inline constexpr std::size_t modem_config_size = 528;
inline constexpr std::size_t max_dial_modifier = 255;

struct modem_settings {
    std::uint16_t type = 0;
    std::uint32_t baud_rate = 0;
    std::u16string dial_modifier;
};

void encode_modem_config(const modem_settings &s, unsigned char *out);
// nullopt when the bytes are not such a block.
std::optional<modem_settings> decode_modem_config(const unsigned char *bytes, std::size_t size);
std::optional<modem_settings> decode_modem_config_hex(const std::string &hex);
bool valid_baud_rate(std::uint32_t rate);

}  // namespace orvane_platform
