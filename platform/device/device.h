// The simulated handheld's folder and its hardware profile (device.toml).
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orvane_platform {

// The line devices a handheld has at most.
inline constexpr std::size_t max_modems = 64;

// The SIM in a modem, as far as it tells: the operator identifier is the MCC and the MNC with
// the length the SIM states ("00101" and "001010" are two operators).
struct sim_profile {
    bool present = false;
    std::string operator_id;
    std::u16string provider_name;  // the service provider name; empty when the SIM gives none
    std::string iccid;
};

struct modem_profile {
    std::u16string name;
    std::u16string provider;
    std::uint16_t type = 0;
    std::uint32_t baud_rate = 19200;
    std::u16string dial_modifier;
    std::string port;  // the Linux serial device, for export to pppd; empty when not given
    bool has_config = true;  // false: the provider keeps no configuration block for it
    std::string manager_id;    // ModemManager's modems: its identifier, by which NetworkManager binds a connection
    sim_profile sim;
};

// The screen the pixel display shows: its size in pixels, its dots per inch, and how many
// desktop pixels show one of its pixels.
struct screen_profile {
    int width = 240;
    int height = 320;
    int dpi = 96;
    int zoom = 0;  // desktop pixels a side for one of the screen's; 0: the largest that fits the desktop
};

struct device_profile {
    std::vector<modem_profile> modems;
    // Where the modems come from: device.toml's [[modem]] tables (or the built-in three), or
    // the machine's ModemManager ([telephony] source = "modemmanager").
    bool modemmanager = false;
    // Each accepted entry also goes into the running NetworkManager ([store] networkmanager = true).
    // Why the machine's modems could not be asked ([telephony] source = "modemmanager"); empty when they were.
    std::string modems_error;
    bool networkmanager = false;
    screen_profile screen;
    std::set<std::string, std::less<>> faults;  // looked up by the calls' own names, uncopied
    // False when device.toml could not be used; `error` then says why, with line and column.
    bool valid = true;
    std::string error;
    // What the file says that nothing reads (an unknown table or key, a fault that is no
    // platform call), each with its line and column; the profile is used all the same.
    std::vector<std::string> warnings;
};

// $ORVANE_DEVICE, else $XDG_DATA_HOME/orvane/device, else ~/.local/share/orvane/device, the
// home from HOME or else the account. Throws std::runtime_error when there is no home.
std::filesystem::path device_folder_path();
// A file of that folder.
std::string device_file(const char *name);
// The folder, created (mode 0700, and so is every folder made on the way) when missing.
// Throws std::runtime_error, saying what is wrong and how to mend it, when it cannot be made
// or belongs to another user; a folder of the user's own that others may use is tightened.
std::filesystem::path ensure_device_folder();
// Refuses (std::runtime_error) a folder or file that exists and belongs to another user, or
// is not a folder / regular file; tightens one of the user's own to 0700 / 0600.
void check_own_path(const std::filesystem::path &path, bool folder);
// What the platform has to tell the user beside the screen (a file tightened, a service that
// could not be asked, why an entry was refused), since the last call: the tools and the dialog
// print them on stderr, the dialog once its screen is put back.
std::vector<std::string> take_device_notices();
void add_device_notice(const std::string &text);

// A random value made once and kept in the device folder (file "identity"): what tells this
// handheld from another. Throws std::runtime_error when it cannot be read or made.
std::string device_identity();

device_profile builtin_profile();
struct system_modem;
// The machine's modems as the standard provider's, each with the configuration block `file`
// (modems.toml) keeps for its equipment identifier; a modem not yet there is added to it with
// 115200 bit/s and no dial modifier. A value or file that cannot be used is a warning, and the
// modem keeps that default.
std::vector<modem_profile> system_modem_profiles(const std::vector<system_modem> &modems, const std::string &file,
                                                 std::vector<std::string> &warnings);
// Reads device.toml from the device folder; without one, the built-in profile.
device_profile load_device_profile();
device_profile parse_device_profile(const std::string &toml_text, const std::string &source_name);

// True when device.toml asks `call` to fail (or cannot be read, for the telephony calls).
bool fault_requested(std::string_view call);

}  // namespace orvane_platform
