// orvane-device: inspect and prepare the simulated handheld.
#include <cfgmgrapi.h>
#include <tapi.h>

#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/utf.h"
#include "config/connection_store.h"
#include "config/provisioning.h"
#include "device/device.h"
#include "telephony/modem_config.h"

namespace {

using nlohmann::json;
using namespace orvane_platform;

struct tool_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct line_device {
    DWORD id;
    std::string name;
    std::string provider;
    int type;  // -1 when the provider gives none
};

std::string text_at(const BYTE *base, DWORD offset, DWORD size, DWORD used) {
    if (offset > used || size > used - offset) return {};
    std::u16string s;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        auto u = static_cast<char16_t>(base[offset + i] | (base[offset + i + 1] << 8));
        if (u == 0) break;
        s += u;
    }
    return to_utf8(s);
}

std::vector<line_device> query_modems() {
    device_profile profile = load_device_profile();
    if (!profile.valid) throw tool_error(profile.error);
    HLINEAPP app = 0;
    DWORD count = 0;
    DWORD version = TAPI_CURRENT_VERSION;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    LONG rc = lineInitializeEx(&app, nullptr, nullptr, u"orvane-device", &count, &version, &params);
    if (rc != 0) throw tool_error("the telephony service does not start (error 0x" + [&] {
        std::ostringstream o;
        o << std::hex << static_cast<DWORD>(rc);
        return o.str();
    }() + ")");
    std::vector<line_device> out;
    std::vector<BYTE> buf(4096);
    for (DWORD id = 0; id < count; ++id) {
        std::fill(buf.begin(), buf.end(), 0);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buf.data());
        caps->dwTotalSize = static_cast<DWORD>(buf.size());
        if (lineGetDevCaps(app, id, version, 0, caps) != 0) continue;
        DWORD used = std::min<DWORD>(caps->dwUsedSize, static_cast<DWORD>(buf.size()));
        line_device d{id, text_at(buf.data(), caps->dwLineNameOffset, caps->dwLineNameSize, used),
                      text_at(buf.data(), caps->dwProviderInfoOffset, caps->dwProviderInfoSize, used), -1};
        if (caps->dwDevSpecificSize >= 2 && caps->dwDevSpecificOffset <= used - 2) {
            d.type = buf[caps->dwDevSpecificOffset] | (buf[caps->dwDevSpecificOffset + 1] << 8);
        }
        out.push_back(d);
    }
    lineShutdown(app);
    return out;
}

std::string value_of(const stored_entry &e, const std::string &name) {
    for (const auto &[k, v] : e.parms) {
        if (k == name) return v;
    }
    return {};
}

// Shows control characters so that one line stays one line.
std::string printable(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

json entry_json(const stored_entry &e) {
    json parms = json::object();
    for (const auto &[k, v] : e.parms) parms[k] = v;
    json j = {{"name", e.name}, {"parms", parms}, {"created", e.created}, {"document", e.document}};
    auto cfg = decode_modem_config_hex(value_of(e, "DeviceSpecificRAW"));
    if (cfg) {
        j["device_config"] = {{"baud_rate", cfg->baud_rate}, {"dial_modifier", to_utf8(cfg->dial_modifier)}};
    } else {
        j["device_config"] = nullptr;
    }
    return j;
}

std::unique_ptr<connection_store> open_store_for_reading() {
    if (!connection_store::exists()) return nullptr;
    return std::make_unique<connection_store>(connection_store::mode::read);
}

int run(int argc, char **argv) {
    CLI::App app{"Inspect and prepare the simulated handheld of Orvane Connection Manager.\n"
                 "The device folder is $ORVANE_DEVICE (default: $XDG_DATA_HOME/orvane/device)."};
    app.set_version_flag("--version", "orvane-device " ORVANE_VERSION);
    app.require_subcommand(1);
    bool as_json = false;
    std::string name;
    std::string file;

    auto *modems = app.add_subcommand("modems", "the line devices as the telephony service reports them");
    modems->add_flag("--json", as_json, "print JSON");
    auto *connections = app.add_subcommand("connections", "the stored connection entries, one a line");
    connections->add_flag("--json", as_json, "print JSON");
    auto *show = app.add_subcommand("show", "one entry: parameters, decoded device configuration, document");
    show->add_flag("--json", as_json, "print JSON");
    show->add_option("NAME", name, "entry name")->required();
    auto *provision = app.add_subcommand("provision", "submit a provisioning document (UTF-8 file, - for stdin)");
    provision->add_option("FILE", file, "document")->required();
    auto *remove = app.add_subcommand("delete", "delete an entry");
    remove->add_option("NAME", name, "entry name")->required();
    auto *where = app.add_subcommand("path", "print the device folder");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }

    if (*where) {
        std::cout << device_folder_path().string() << "\n";
        return 0;
    }
    if (*modems) {
        auto list = query_modems();
        if (as_json) {
            json j = json::array();
            for (const auto &d : list) {
                j.push_back({{"device_id", d.id}, {"name", d.name}, {"provider", d.provider},
                             {"type", d.type < 0 ? json(nullptr) : json(d.type)}});
            }
            std::cout << j.dump(2) << "\n";
        } else {
            for (const auto &d : list) {
                std::cout << d.id << "\t" << printable(d.name) << "\t" << printable(d.provider);
                if (d.type >= 0) std::cout << "\ttype " << d.type;
                std::cout << "\n";
            }
        }
        return 0;
    }
    if (*connections) {
        auto store = open_store_for_reading();
        std::vector<stored_entry> list = store ? store->list() : std::vector<stored_entry>{};
        if (as_json) {
            json j = json::array();
            for (const auto &e : list) j.push_back(entry_json(e));
            std::cout << j.dump(2) << "\n";
        } else {
            for (const auto &e : list) std::cout << printable(e.name) << "\n";
        }
        return 0;
    }
    if (*show) {
        auto store = open_store_for_reading();
        auto e = store ? store->find(name) : std::nullopt;
        if (!e) throw tool_error("no connection named \"" + name + "\"");
        json j = entry_json(*e);
        if (as_json) {
            std::cout << j.dump(2) << "\n";
        } else {
            std::cout << "name: " << printable(e->name) << "\ncreated: " << e->created << "\nparameters:\n";
            for (const auto &[k, v] : e->parms) std::cout << "  " << k << " = " << printable(v) << "\n";
            if (j["device_config"].is_null()) {
                std::cout << "device configuration: not readable\n";
            } else {
                std::cout << "device configuration:\n  speed: " << j["device_config"]["baud_rate"].get<unsigned>()
                          << "\n  dial modifier: "
                          << printable(j["device_config"]["dial_modifier"].get<std::string>()) << "\n";
            }
            std::cout << "document:\n" << e->document << "\n";
        }
        return 0;
    }
    if (*provision) {
        std::ostringstream text;
        if (file == "-") {
            text << std::cin.rdbuf();
        } else {
            std::ifstream in(file, std::ios::binary);
            if (!in) throw tool_error("cannot read " + file);
            text << in.rdbuf();
        }
        std::string error;
        long hr = process_provisioning_document(from_utf8(text.str()), &error);
        if (hr < 0) {
            std::ostringstream o;
            o << "refused (0x" << std::hex << static_cast<unsigned long>(hr & 0xFFFFFFFFL) << "): " << error;
            throw tool_error(o.str());
        }
        std::cout << "provisioned\n";
        return 0;
    }
    if (*remove) {
        if (!connection_store::exists()) throw tool_error("no connection named \"" + name + "\"");
        connection_store store(connection_store::mode::write);
        if (!store.remove(name)) throw tool_error("no connection named \"" + name + "\"");
        std::cout << "deleted\n";
        return 0;
    }
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        std::cerr << "orvane-device: " << e.what() << "\n";
        return 1;
    }
}
