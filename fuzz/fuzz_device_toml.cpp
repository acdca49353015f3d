// Reading device.toml, over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    auto p = orvane_platform::parse_device_profile(text, "device.toml");
    if (!p.valid && p.error.empty()) __builtin_trap();
    for (const auto &m : p.modems) {
        if (m.dial_modifier.size() > 255) __builtin_trap();
    }
    return 0;
}
