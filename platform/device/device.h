// The simulated handheld's folder and its hardware profile (device.toml).
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace orvane_platform {

struct modem_profile {
    std::u16string name;
    std::u16string provider;
    std::uint16_t type = 0;
    std::uint32_t baud_rate = 19200;
    std::u16string dial_modifier;
    std::string port;  // the Linux serial device, for export to pppd; empty when not given
};

struct device_profile {
    std::vector<modem_profile> modems;
    std::set<std::string> faults;
    // False when device.toml could not be used; `error` then says why, with line and column.
    bool valid = true;
    std::string error;
};

// $ORVANE_DEVICE, else $XDG_DATA_HOME/orvane/device, else ~/.local/share/orvane/device.
std::filesystem::path device_folder_path();
// The folder, created (mode 0700) when missing; throws std::runtime_error when it cannot be.
std::filesystem::path ensure_device_folder();

device_profile builtin_profile();
// Reads device.toml from the device folder; without one, the built-in profile.
device_profile load_device_profile();
device_profile parse_device_profile(const std::string &toml_text, const std::string &source_name);

// True when device.toml asks `call` to fail (or cannot be read, for the telephony calls).
bool fault_requested(const std::string &call);

}  // namespace orvane_platform
