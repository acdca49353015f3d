// The modems of a running ModemManager, read in a module of their own (libmm-glib brings GLib
// and D-Bus), loaded only when device.toml asks for them.
#pragma once

#include <string>
#include <vector>

#include "../common/service_call.h"

namespace orvane_platform {

struct system_modem {
    std::string model;         // as ModemManager reports it
    std::string port;          // the primary port's name ("ttyUSB0")
    std::string equipment_id;  // the IMEI, or what the modem gives for one
    std::string device_identifier;  // ModemManager's own, which NetworkManager binds connections by
    // The SIM's OperatorIdentifier, OperatorName and SimIdentifier; all empty without a SIM or
    // when it could not be read.
    std::string sim_operator_id;
    std::string sim_operator_name;
    std::string sim_identifier;
};

// The module's entry point: false, with the reason in `error`, when ModemManager cannot be
// asked (not running, no system bus). No exception crosses it.
using system_modem_lister = bool (*)(const service_call &limits, std::vector<system_modem> &modems,
                                     std::string &error) noexcept;
inline constexpr const char *system_modem_lister_symbol = "orvane_modemmanager_modems";

// Through the module found beside the program or in its private folder; false, with the
// reason, when it cannot be loaded or ModemManager cannot be asked.
bool system_modems(std::vector<system_modem> &modems, std::string &error);

}  // namespace orvane_platform
