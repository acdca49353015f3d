// orvane-device: inspect and prepare the simulated handheld.
#include <cfgmgrapi.h>
#include <tapi.h>

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unordered_map>
#include <pugixml.hpp>

#include "common/utf.h"
#include "config/connection_store.h"
#include "config/provisioning.h"
#include "device/device.h"
#include "kernel/process.h"
#include "export.h"
#include "handheld_view.h"
#include "config/dialup.h"
#include "tool_io.h"
#include "telephony/modem_config.h"

namespace {

using nlohmann::json;
using namespace orvane_platform;
using namespace orvane_tools;


struct line_device {
    DWORD id;
    std::string name;
    std::string provider;
    int type;  // -1 when the provider gives none
    std::string sim_operator;  // empty: no SIM that tells its operator
    std::string sim_name;
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

// The profile the handheld runs with; what it passes over is said on stderr.
device_profile usable_profile() {
    device_profile profile = load_device_profile();
    if (!profile.valid) throw tool_error(profile.error);
    for (const std::string &w : profile.warnings) std::cerr << "orvane-device: " << printable(w) << "\n";
    return profile;
}

std::string hex_code(LONG rc) {
    std::ostringstream o;
    o << "0x" << std::hex << static_cast<DWORD>(rc);
    return o.str();
}

// The line devices; `failed` counts those whose capabilities could not be read.
std::vector<line_device> query_modems(int &failed) {
    usable_profile();
    HLINEAPP app = 0;
    DWORD count = 0;
    DWORD version = TAPI_CURRENT_VERSION;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    LONG rc = lineInitializeEx(&app, nullptr, nullptr, u"orvane-device", &count, &version, &params);
    if (rc != 0) throw tool_error("the telephony service does not start (error " + hex_code(rc) + ")");
    std::vector<line_device> out;
    std::vector<BYTE> buf(4096);
    for (DWORD id = 0; id < count; ++id) {
        std::fill(buf.begin(), buf.end(), 0);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buf.data());
        caps->dwTotalSize = static_cast<DWORD>(buf.size());
        if (LONG caps_rc = lineGetDevCaps(app, id, version, 0, caps); caps_rc != 0) {
            std::cerr << "orvane-device: device " << id << ": its capabilities cannot be read (error "
                      << hex_code(caps_rc) << ")\n";
            ++failed;
            continue;
        }
        DWORD used = std::min<DWORD>(caps->dwUsedSize, static_cast<DWORD>(buf.size()));
        line_device d{id, text_at(buf.data(), caps->dwLineNameOffset, caps->dwLineNameSize, used),
                      text_at(buf.data(), caps->dwProviderInfoOffset, caps->dwProviderInfoSize, used), -1, {}, {}};
        if (caps->dwDevSpecificSize >= 2 && caps->dwDevSpecificOffset <= used - 2) {
            d.type = buf[caps->dwDevSpecificOffset] | (buf[caps->dwDevSpecificOffset + 1] << 8);
        }
        std::vector<BYTE> sim_buf(512);
        auto *sim = reinterpret_cast<LINESIMINFO *>(sim_buf.data());
        sim->dwTotalSize = static_cast<DWORD>(sim_buf.size());
        if (lineGetSimInfo(app, id, version, sim) == 0) {
            const DWORD sim_used = std::min<DWORD>(sim->dwUsedSize, static_cast<DWORD>(sim_buf.size()));
            d.sim_operator = text_at(sim_buf.data(), sim->dwOperatorIdOffset, sim->dwOperatorIdSize, sim_used);
            d.sim_name = text_at(sim_buf.data(), sim->dwServiceProviderOffset, sim->dwServiceProviderSize, sim_used);
        }
        out.push_back(d);
    }
    lineShutdown(app);
    return out;
}



constexpr const char *hidden = "<hidden>";

// The entry with its password masked: in its parameters and inside its document.
stored_entry masked(stored_entry e) {
    bool any = false;
    for (auto &[k, v] : e.parms) {
        if (k == "Password" && !v.empty()) {
            v = hidden;
            any = true;
        }
    }
    if (!any) return e;
    pugi::xml_document doc;
    if (!doc.load_buffer(e.document.data(), e.document.size(), pugi::parse_default, pugi::encoding_utf8)) {
        e.document = "(not shown: it holds the password)";
        return e;
    }
    for (pugi::xpath_node n : doc.select_nodes("//parm[@name='Password']")) n.node().attribute("value").set_value(hidden);
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    e.document = out.str();
    return e;
}

json entry_json(const stored_entry &e) {
    json parms = json::object();
    for (const auto &[k, v] : e.parms) parms[k] = v;
    json j = {{"name", e.name}, {"parms", parms}, {"created", e.created}, {"document", e.document}};
    auto cfg = decode_modem_config_hex(parm_value(e, "DeviceSpecificRAW"));
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


std::string serial_port_of(const std::string &device_name) {
    device_profile profile = usable_profile();
    for (const auto &m : profile.modems) {
        if (to_utf8(m.name) == device_name) {
            if (m.port.empty()) break;
            return m.port;
        }
    }
    throw tool_error("the modem " + in_quotes(device_name) +
                     " has no serial device: give it one in device.toml ([[modem]] port = \"/dev/ttyUSB0\")");
}

// The screenshot and the fit check, on the handheld's screen unless the command line gives another.
int view_dialog(bool shoot, view_options view, bool dpi_given, const std::string &screen_size, bool landscape,
                const std::string &output, bool force) {
    const screen_profile configured = usable_profile().screen;
    view.width = configured.width;
    view.height = configured.height;
    if (!dpi_given) view.dpi = configured.dpi;
    if (!screen_size.empty()) parse_screen_size(screen_size, view.width, view.height);
    if (shoot) {
        std::string png = screenshot(view, landscape);
        if (output == "-") {
            std::cout << png;
        } else {
            // Never over a file it reads, --force or not.
            for (const std::string *input : {&view.language, &view.operators}) {
                std::error_code ec;
                if (!input->empty() && std::filesystem::equivalent(*input, output, ec)) {
                    throw tool_error(in_quotes(output) + " is the file given to " +
                                     (input == &view.language ? "--language" : "--operators") + "; choose another --output");
                }
            }
            write_file(output, png, force, 0644);
        }
        return 0;
    }
    std::vector<std::string> findings = fit_findings(view);
    for (const std::string &f : findings) std::cout << f << "\n";
    return findings.empty() ? 0 : 1;
}

int list_modems(bool as_json) {
    int failed = 0;
    auto list = query_modems(failed);
    // None listed because ModemManager could not be asked is a failure, not an empty machine.
    if (!load_device_profile().modems_error.empty()) ++failed;
    if (as_json) {
        json j = json::array();
        for (const auto &d : list) {
            json sim = d.sim_operator.empty() ? json(nullptr) : json{{"operator", d.sim_operator}, {"name", d.sim_name}};
            j.push_back({{"device_id", d.id}, {"name", d.name}, {"provider", d.provider},
                         {"type", d.type < 0 ? json(nullptr) : json(d.type)}, {"sim", sim}});
        }
        std::cout << j.dump(2) << "\n";
    } else {
        for (const auto &d : list) {
            std::cout << d.id << "\t" << printable(d.name) << "\t" << printable(d.provider);
            if (d.type >= 0) std::cout << "\ttype " << d.type;
            if (!d.sim_operator.empty()) {
                std::cout << "\tSIM " << printable(d.sim_operator);
                if (!d.sim_name.empty()) std::cout << " " << printable(in_quotes(d.sim_name));
            }
            std::cout << "\n";
        }
    }
    return failed == 0 ? 0 : 1;
}

// Where entries stand in NetworkManager, from one reading of its connections.
class drift_finder {
public:
    explicit drift_finder(const std::vector<connection_ref> &theirs) : device_(device_identity()) {
        for (const connection_ref &r : theirs) id_by_uuid_.emplace(r.uuid, r.id);
    }
    // "" when the entry's connection is there under its name.
    std::string operator()(const stored_entry &e) const {
        dialup_connection c;
        c.name = e.name;
        c.created = e.created;
        c.device_id = device_;
        const auto it = id_by_uuid_.find(networkmanager_uuid(c));
        if (it == id_by_uuid_.end()) return "not in NetworkManager";
        return it->second == e.name ? "" : "in NetworkManager as " + in_quotes(it->second);
    }

private:
    std::string device_;
    std::unordered_map<std::string, std::string> id_by_uuid_;
};

int list_connections(bool as_json, bool show_secrets) {
    const device_profile profile = load_device_profile();
    auto store = open_store_for_reading();
    if (!as_json && (!profile.valid || !profile.networkmanager)) {
        // Written once the store is read, so that a slow reader of the output does not
        // keep the store's read transaction open.
        std::string out;
        if (store) {
            store->each_name([&out](std::string_view n) {
                append_printable(out, n);
                out += '\n';
            });
        }
        std::cout << out;
        return 0;
    }
    if (!as_json) {
        // In host mode each entry says where its connection in NetworkManager stands.
        std::vector<stored_entry> entries = store ? store->list() : std::vector<stored_entry>{};
        std::vector<connection_ref> theirs;
        try {
            theirs = networkmanager_connections();
        } catch (const dialup_error &e) {
            for (const stored_entry &en : entries) std::cout << printable(en.name) << "\n";
            std::cerr << "orvane-device: " << printable(e.what()) << "; the entries are shown without it\n";
            return 1;
        }
        std::string out;
        const drift_finder drift_of(theirs);
        for (const stored_entry &en : entries) {
            append_printable(out, en.name);
            std::string drift = drift_of(en);
            if (!drift.empty()) {
                out += "\t(";
                append_printable(out, drift);
                out += ')';
            }
            out += '\n';
        }
        std::cout << out;
        return 0;
    }
    // An entry that holds text which is not UTF-8 (stored by an older version) is named
    // and left out; the others are listed.
    json j = json::array();
    int bad = 0;
    for (const auto &e : store ? store->list() : std::vector<stored_entry>{}) {
        json one = entry_json(show_secrets ? e : masked(e));
        try {
            (void)one.dump();
            j.push_back(std::move(one));
        } catch (const json::type_error &) {
            std::cerr << "orvane-device: the entry " << in_quotes(e.name)
                      << " holds text that is not valid UTF-8; it is left out\n";
            ++bad;
        }
    }
    std::cout << j.dump(2) << "\n";
    return bad == 0 ? 0 : 1;
}

int show_entry(const std::string &name, bool as_json, bool show_secrets) {
    auto store = open_store_for_reading();
    auto found = store ? store->find(name) : std::nullopt;
    if (!found) throw tool_error("no connection named " + in_quotes(name));
    stored_entry e = show_secrets ? *found : masked(*found);
    json j = entry_json(e);
    if (as_json) {
        std::cout << j.dump(2) << "\n";
    } else {
        std::cout << "name: " << printable(e.name) << "\ncreated: " << e.created << "\nparameters:\n";
        for (const auto &[k, v] : e.parms) std::cout << "  " << k << " = " << printable(v) << "\n";
        if (j["device_config"].is_null()) {
            std::cout << "device configuration: not readable\n";
        } else {
            std::cout << "device configuration:\n  speed: " << j["device_config"]["baud_rate"].get<unsigned>()
                      << "\n  dial modifier: "
                      << printable(j["device_config"]["dial_modifier"].get<std::string>()) << "\n";
        }
        std::cout << "document:\n" << printable(e.document) << "\n";
    }
    return 0;
}

int export_entry(const std::string &name, const std::string &target, const std::string &output, bool force, bool add) {
    auto store = open_store_for_reading();
    auto found = store ? store->find(name) : std::nullopt;
    if (!found) throw tool_error("no connection named " + in_quotes(name));
    // Added, it is bound to its modem as the dialog's entries are; as a keyfile, which may go to
    // another machine, to the SIM in that modem only.
    const bool bound = add || target == "networkmanager";
    const device_profile profile = bound ? usable_profile() : device_profile{};
    orvane_export::connection c = orvane_platform::dialup_connection_of(*found, bound ? &profile : nullptr);
    if (!add) c.modem_id.clear();
    if (add && (target != "networkmanager" || !output.empty())) {
        throw usage_error("--add is for --to networkmanager, without --output");
    }
    if (add) {
        std::string uuid = orvane_platform::networkmanager_add(c);
        std::cout << "added to NetworkManager as " << uuid << "\n";
        return 0;
    }
    if (target == "networkmanager") {
        std::string text = orvane_platform::networkmanager_keyfile(c);
        if (output.empty() || output == "-") {
            std::cout << text;
        } else {
            write_file(output, text, force, 0600);  // it holds a password
        }
        return 0;
    }
    if (output.empty() || output == "-") throw usage_error("export --to pppd needs --output DIR");
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(output, ec);
    if (!std::filesystem::is_directory(dir, ec)) throw tool_error(in_quotes(output) + " is not a folder");
    const std::string file = orvane_export::pppd_file_name(found->name);
    std::filesystem::path peers = dir / file;
    std::filesystem::path chat = dir / (file + ".chat");
    // The peers file names its chat script where both go to be dialled, as the advice below says.
    const std::string final_chat = "/etc/ppp/peers/" + file + ".chat";
    orvane_export::pppd_files f = orvane_export::pppd_export(c, serial_port_of(c.device_name), final_chat);
    // Neither is written unless both are.
    file_batch batch;
    batch.add(chat, f.chat, force, 0600);
    batch.add(peers, f.peers, force, 0600);
    batch.commit();
    std::cout << "wrote " << printable(peers.string()) << " and " << printable(chat.string()) << "\n";
    std::cout << "dial with: pon " << file << (dir == "/etc/ppp/peers" ? "" : " (once both are in /etc/ppp/peers)")
              << "\n";
    return 0;
}

int provision_document(const std::string &file) {
    std::ostringstream text;
    if (file == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw tool_error("cannot read " + in_quotes(file) + ": " + std::strerror(errno));
        text << in.rdbuf();
    }
    std::string bytes = text.str();
    if (std::size_t bad = invalid_utf8_offset(bytes); bad != std::string::npos) {
        throw tool_error(in_quotes(file) + " is not valid UTF-8 (at byte " + std::to_string(bad) +
                         "); nothing was stored");
    }
    std::string error;
    long hr = process_provisioning_document(from_utf8(bytes), &error);
    if (hr < 0) {
        std::ostringstream o;
        o << "refused (0x" << std::hex << static_cast<unsigned long>(hr & 0xFFFFFFFFL) << "): " << printable(error);
        throw tool_error(o.str());
    }
    std::cout << "provisioned\n";
    return 0;
}

int delete_entry(const std::string &name) {
    deletion done = delete_connection(name);
    if (!done.found) throw tool_error("no connection named " + in_quotes(name));
    std::cout << "deleted";
    if (done.networkmanager_asked) {
        if (!done.networkmanager_name) {
            std::cout << "; NetworkManager had no connection for it";
        } else if (*done.networkmanager_name == name) {
            std::cout << "; removed from NetworkManager";
        } else {
            std::cout << "; removed from NetworkManager, where it was named " << in_quotes(*done.networkmanager_name);
        }
    }
    std::cout << "\n";
    return 0;
}

// Adds to NetworkManager the entries it has no connection of (`only`: that one entry), bound to
// their modems: those made before host mode was on, or removed there.
int sync_entries(const std::optional<std::string> &only) {
    const device_profile profile = usable_profile();
    if (!profile.networkmanager) throw tool_error("device.toml does not put entries into NetworkManager ([store] networkmanager = true)");
    auto store = open_store_for_reading();
    std::vector<stored_entry> entries = store ? store->list() : std::vector<stored_entry>{};
    if (only) {
        std::erase_if(entries, [&](const stored_entry &e) { return fold_entry_name(e.name) != fold_entry_name(*only); });
        if (entries.empty()) throw tool_error("no connection named " + in_quotes(*only));
    }
    std::vector<connection_ref> theirs = networkmanager_connections();
    int failed = 0;
    const drift_finder drift_of(theirs);
    for (const stored_entry &e : entries) {
        std::string drift = drift_of(e);
        if (drift != "not in NetworkManager") {
            std::cout << printable(e.name) << ": " << (drift.empty() ? "in NetworkManager" : printable(drift)) << "\n";
            continue;
        }
        if (auto other = name_like(theirs, {e.name})) {
            std::cerr << "orvane-device: " << printable(e.name) << ": NetworkManager has another connection named "
                      << printable(in_quotes(*other)) << "; not added\n";
            ++failed;
            continue;
        }
        try {
            dialup_connection c = dialup_connection_of(e, &profile);
            networkmanager_add(c);
            theirs.push_back({c.name, networkmanager_uuid(c)});
            std::cout << printable(e.name) << ": added to NetworkManager\n";
        } catch (const dialup_error &err) {
            std::cerr << "orvane-device: " << printable(e.name) << ": " << printable(err.what()) << "\n";
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

int run(int argc, char **argv) {
    CLI::App app{"Inspect and prepare the simulated handheld of Orvane Connection Manager.\n"
                 "The device folder is $ORVANE_DEVICE (default: $XDG_DATA_HOME/orvane/device)."};
    app.set_version_flag("--version", "orvane-device " ORVANE_VERSION);
    app.footer("Exit status: 0 done, 1 the operation failed (nothing was changed) or a change was made but\n"
               "its report could not be written, 2 a usage error.\n"
               "Passwords are shown as " + std::string(hidden) + " unless --show-secrets is given.");
    app.require_subcommand(1);
    bool as_json = false;
    bool show_secrets = false;
    bool force = false;
    std::string name;
    std::string file;
    std::string target;
    std::string output;

    auto *modems = app.add_subcommand("modems", "the line devices as the telephony service reports them");
    modems->add_flag("--json", as_json, "print JSON");
    auto *connections = app.add_subcommand("connections", "the stored connection entries, one a line");
    connections->add_flag("--json", as_json, "print JSON (each entry whole)");
    connections->add_flag("--show-secrets", show_secrets, "show passwords in the JSON");
    auto *show = app.add_subcommand("show", "one entry: parameters, decoded device configuration, document");
    show->add_flag("--json", as_json, "print JSON");
    show->add_flag("--show-secrets", show_secrets, "show the password");
    show->add_option("NAME", name, "entry name")->required();
    auto *provision = app.add_subcommand("provision", "submit a provisioning document (UTF-8 file, - for stdin)");
    provision->add_option("FILE", file, "document")->required();
    auto *remove = app.add_subcommand("delete", "delete an entry");
    remove->add_option("NAME", name, "entry name")->required();
    auto *where = app.add_subcommand("path", "print the device folder");
    auto *sync = app.add_subcommand(
        "sync", "add to NetworkManager the entries it has no connection of, bound to their modems (host mode)");
    sync->add_option("NAME", name, "only this entry");
    auto *exporter = app.add_subcommand(
        "export", "an entry as a NetworkManager keyfile, or as a pppd peers file with its chat script");
    exporter->add_option("NAME", name, "entry name")->required();
    exporter->add_option("--to", target, "networkmanager or pppd")
        ->required()
        ->check(CLI::IsMember({"networkmanager", "pppd"}));
    exporter->add_option("--output", output,
                         "networkmanager: the keyfile to write (default and -: standard output); "
                         "pppd: the folder for NAME and NAME.chat (needed)");
    exporter->add_flag("--force", force, "replace existing files");
    bool add = false;
    exporter->add_flag("--add", add, "networkmanager: add it to the running NetworkManager (kept on disk)");
    view_options view;
    std::string screen_size;
    bool landscape = false;
    auto *shot = app.add_subcommand("screenshot", "the dialog as the handheld shows it right after start, as PNG");
    shot->add_option("--output", output, "the PNG file to write (-: standard output)")->required();
    shot->add_flag("--landscape", landscape, "the handheld turned to landscape");
    shot->add_flag("--force", force, "replace an existing file");
    auto *fit = app.add_subcommand(
        "fit", "list the translated texts and operator names that the handheld's screen cuts (status 1 when any)");
    for (CLI::App *c : {shot, fit}) {
        c->add_option("--screen", screen_size, "the screen in portrait, WIDTHxHEIGHT pixels (default: device.toml's, else 240x320)");
        c->add_option("--dpi", view.dpi, "the screen's dots per inch (default: device.toml's, else 96)")->check(CLI::Range(48, 480));
        c->add_option("--language", view.language, "a language file (default: the program's)");
        c->add_option("--operators", view.operators, "an operators file (default: the program's)");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        throw usage_error(usage_message(app, e, argc, argv));
    }

    if (show_secrets || *exporter) disable_core_dumps();
    for (const std::string *n : {&name}) {
        if (std::size_t bad = invalid_utf8_offset(*n); bad != std::string::npos) {
            throw usage_error("the name " + in_quotes(*n) + " is not valid UTF-8 (at byte " + std::to_string(bad) + ")");
        }
    }
    if (*where) {
        std::cout << device_folder_path().string() << "\n";
        return 0;
    }
    if (*shot || *fit) {
        bool dpi_given = shot->count("--dpi") + fit->count("--dpi") > 0;
        return view_dialog(static_cast<bool>(*shot), view, dpi_given, screen_size, landscape, output, force);
    }
    if (*modems) return list_modems(as_json);
    if (*connections) return list_connections(as_json, show_secrets);
    if (*show) return show_entry(name, as_json, show_secrets);
    if (*exporter) return export_entry(name, target, output, force, add);
    if (*provision) return provision_document(file);
    if (*remove) return delete_entry(name);
    if (*sync) return sync_entries(sync->count("NAME") > 0 ? std::optional<std::string>(name) : std::nullopt);
    return 1;
}


}  // namespace

int main(int argc, char **argv) {
    int status = 1;
    try {
        status = run(argc, argv);
    } catch (const usage_error &e) {
        std::cerr << "orvane-device: " << e.what() << "\norvane-device: --help shows the usage\n";
        status = 2;
    } catch (const std::exception &e) {
        std::cerr << "orvane-device: " << printable(e.what()) << "\n";
        status = 1;
    }
    for (const std::string &n : take_device_notices()) std::cerr << "orvane-device: " << printable(n) << "\n";
    return finish_output("orvane-device", status);
}
