#include <dlfcn.h>

#include "../common/private_module.h"
#include "mm_module.h"

namespace orvane_platform {

bool system_modems(std::vector<system_modem> &modems, std::string &error) {
    static void *module = nullptr;
    if (module == nullptr) {
        module = load_private_module("The ModemManager telephony", ORVANE_MM_MODULE, ORVANE_MM_MODULE_FROM_BINDIR, error);
        if (module == nullptr) return false;
    }
    auto lister = reinterpret_cast<system_modem_lister>(dlsym(module, system_modem_lister_symbol));
    if (lister == nullptr) {
        error = std::string("the ModemManager module has no ").append(system_modem_lister_symbol);
        return false;
    }
    return lister(modems, error);
}

}  // namespace orvane_platform
