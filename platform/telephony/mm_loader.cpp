#include "../common/private_module.h"
#include "mm_module.h"

namespace orvane_platform {

bool system_modems(std::vector<system_modem> &modems, std::string &error) {
    auto lister = reinterpret_cast<system_modem_lister>(private_module_symbol(
        "The ModemManager telephony", ORVANE_MM_MODULE, ORVANE_MM_MODULE_FROM_BINDIR, system_modem_lister_symbol, error));
    if (lister == nullptr) return false;
    return lister(service_limits(), modems, error);
}

}  // namespace orvane_platform
