#include <dlfcn.h>

#include <string>

#include "common/private_module.h"
#include "nm_module.h"

namespace orvane_export {

namespace {

// The module's entry point of that name, the module loaded at the first call and kept.
void *module_symbol(const char *name) {
    static void *module = nullptr;
    if (module == nullptr) {
        std::string error;
        module = orvane_platform::load_private_module("the NetworkManager export", ORVANE_NM_MODULE,
                                                      ORVANE_NM_MODULE_FROM_BINDIR, error);
        if (module == nullptr) throw export_error(error);
    }
    void *symbol = dlsym(module, name);
    if (symbol == nullptr) throw export_error("the NetworkManager export module has no " + std::string(name));
    return symbol;
}

}  // namespace

std::string networkmanager_keyfile_by_module(const connection &c) {
    auto writer = reinterpret_cast<keyfile_writer>(module_symbol(keyfile_writer_symbol));
    std::string text;
    std::string error;
    if (!writer(c, text, error)) throw export_error(error);
    return text;
}

std::string networkmanager_add_by_module(const connection &c) {
    auto adder = reinterpret_cast<connection_adder>(module_symbol(connection_adder_symbol));
    std::string uuid;
    std::string error;
    if (!adder(c, uuid, error)) throw export_error(error);
    return uuid;
}

}  // namespace orvane_export
