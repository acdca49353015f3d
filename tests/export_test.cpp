// Entries made by the program, exported and used by the real engines: libnm reads the
// keyfile back, and the real chat program dials a simulated Hayes modem with the script.
#include "export.h"

#include <NetworkManager.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "config/connection_store.h"
#include "networkmanager/nm_connections.h"
#include "modems/orvane_tapi.h"
#include "provisioning/orvane_ras.h"
#include "support/test_support.h"

using namespace orvane_test;

namespace {

// An entry as the dialog's Create makes it.
orvane_platform::stored_entry created(const std::u16string &name, const std::u16string &apn,
                                      const std::u16string &phone = u"*99***1#") {
    orvane_cr::modem_list modems;
    std::u16string device = u"Hayes Compatible on COM1:";
    std::u16string user = u"web";
    std::u16string password = u"p\"w d";
    std::u16string domain;
    orvane_cr::connection_request r{name.c_str(),     device.c_str(), apn.c_str(), user.c_str(),
                                    password.c_str(), domain.c_str(), phone.c_str()};
    orvane_cr::create_connection(modems, r);
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    auto e = store.find(u8(name));
    EXPECT_TRUE(e);
    return e.value_or(orvane_platform::stored_entry{});
}

NMConnection *read_keyfile(const std::string &text) {
    GKeyFile *file = g_key_file_new();
    EXPECT_TRUE(g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, nullptr));
    GError *error = nullptr;
    NMConnection *c = nm_keyfile_read(file, "/tmp", NM_KEYFILE_HANDLER_FLAGS_NONE, nullptr, nullptr, &error);
    g_key_file_unref(file);
    EXPECT_NE(c, nullptr) << (error != nullptr ? error->message : "");
    if (error != nullptr) g_error_free(error);
    return c;
}

// A Hayes modem on a pseudo-terminal that echoes what it receives until ATE0: OK to ATE0 and
// AT+CGDCONT, CONNECT to ATD, ERROR to anything else. Runs chat with the script against it;
// returns the commands received.
std::vector<std::string> dial_with_chat(const std::string &script, int &chat_status) {
    int master = -1;
    int slave = -1;
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(slave, 0);
        dup2(slave, 1);
        close(master);
        close(slave);
        execl("/usr/sbin/chat", "chat", "-f", script.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(slave);
    std::vector<std::string> received;
    std::string pending;
    bool echo = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            if (waitpid(pid, &chat_status, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            continue;
        }
        char buf[256];
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t cr; (cr = pending.find('\r')) != std::string::npos;) {
            std::string line = pending.substr(0, cr);
            pending.erase(0, cr + 1);
            received.push_back(line);
            std::string answer = echo ? line + "\r" : "";
            echo = echo && line != "ATE0";
            answer += line == "ATE0" || line.rfind("AT+CGDCONT=", 0) == 0 ? "\r\nOK\r\n"
                      : line.rfind("ATD", 0) == 0                        ? "\r\nCONNECT 115200\r\n"
                                                                          : "\r\nERROR\r\n";
            EXPECT_GT(write(master, answer.data(), answer.size()), 0);
        }
    }
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &chat_status, 0);
    }
    close(master);
    return received;
}

}  // namespace

TEST(ExportNetworkManager, KeyfileReadsBackAsTheSameConnection) {
    device_sandbox dev;
    auto c = orvane_platform::dialup_connection_of(created(u"Work", u"web.apn"));
    std::string text = orvane_nm::keyfile(c);
    EXPECT_EQ(text, orvane_nm::keyfile(c));  // the same entry, the same file and UUID
    NMConnection *nm = read_keyfile(text);
    ASSERT_NE(nm, nullptr);
    GError *error = nullptr;
    EXPECT_TRUE(nm_connection_verify(nm, &error)) << (error != nullptr ? error->message : "");
    NMSettingConnection *s_con = nm_connection_get_setting_connection(nm);
    EXPECT_STREQ(nm_setting_connection_get_id(s_con), "Work");
    EXPECT_STREQ(nm_setting_connection_get_connection_type(s_con), NM_SETTING_GSM_SETTING_NAME);
    EXPECT_FALSE(nm_setting_connection_get_autoconnect(s_con));
    std::string uuid = nm_setting_connection_get_uuid(s_con);
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid[14], '5');
    NMSettingGsm *gsm = nm_connection_get_setting_gsm(nm);
    EXPECT_STREQ(nm_setting_gsm_get_apn(gsm), "web.apn");
    gchar *number = nullptr;  // deprecated as a getter, still the keyfile's gsm.number
    g_object_get(G_OBJECT(gsm), NM_SETTING_GSM_NUMBER, &number, nullptr);
    EXPECT_STREQ(number, "*99***1#");
    g_free(number);
    EXPECT_STREQ(nm_setting_gsm_get_username(gsm), "web");
    EXPECT_STREQ(nm_setting_gsm_get_password(gsm), "p\"w d");
    EXPECT_EQ(nm_setting_gsm_get_password_flags(gsm), NM_SETTING_SECRET_FLAG_NONE);
    EXPECT_EQ(nm_setting_serial_get_baud(nm_connection_get_setting_serial(nm)), 115200u);
    EXPECT_STREQ(nm_setting_ip_config_get_method(NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip4_config(nm))),
                 NM_SETTING_IP4_CONFIG_METHOD_AUTO);
    EXPECT_STREQ(nm_setting_ip_config_get_method(NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(nm))),
                 NM_SETTING_IP6_CONFIG_METHOD_DISABLED);
    g_object_unref(nm);

    // Without an APN the block has no modifier, and the connection no APN; another entry,
    // another UUID.
    NMConnection *plain = read_keyfile(orvane_nm::keyfile(
        orvane_platform::dialup_connection_of(created(u"Plain", u""))));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(nm_setting_gsm_get_apn(nm_connection_get_setting_gsm(plain)), nullptr);
    EXPECT_NE(nm_setting_connection_get_uuid(nm_connection_get_setting_connection(plain)), uuid);
    g_object_unref(plain);
    // The same entry on another handheld: another UUID.
    c.device_id = "another handheld";
    NMConnection *elsewhere = read_keyfile(orvane_nm::keyfile(c));
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_NE(nm_setting_connection_get_uuid(nm_connection_get_setting_connection(elsewhere)), uuid);
    g_object_unref(elsewhere);
    // Without a password it dials without one; NetworkManager would wait for someone to type it.
    c.password.clear();
    NMConnection *open = read_keyfile(orvane_nm::keyfile(c));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(nm_setting_gsm_get_password(nm_connection_get_setting_gsm(open)), nullptr);
    EXPECT_EQ(nm_setting_gsm_get_password_flags(nm_connection_get_setting_gsm(open)), NM_SETTING_SECRET_FLAG_NOT_REQUIRED);
    g_object_unref(open);
}

// A dial modifier's context is read whole: its type decides the IP methods, its APN the APN.
TEST(ExportNetworkManager, TheModifiersContextTypeAndApn) {
    device_sandbox dev;
    struct row {
        const char *modifier;
        const char *type;  // nullptr: no context the export takes
        const char *apn;
    };
    const row rows[] = {
        {"+CGDCONT=1,\"IP\",\"a\"b\"", "IP", "a\"b"},  {"+CGDCONT=1,\"IP\",\"\"", "IP", ""},
        {"+CGDCONT=1,\"IPV6\",\"v6.apn\"", "IPV6", "v6.apn"}, {"+CGDCONT=2,\"IPV4V6\",\"ds\"", "IPV4V6", "ds"},
        {"X1", nullptr, nullptr},                            {"+CGDCONT=1,\"IP\",\"", nullptr, nullptr},
        {"+CGDCONT=1,\"IP\",\"open", nullptr, nullptr},       {"+CGDCONT=,\"IP\",\"x\"", nullptr, nullptr},
        {"+CGDCONT=1,\"PPP\",\"x\"", nullptr, nullptr},       {"+CGDCONT=1,\"ipv6\",\"x\"", nullptr, nullptr},
    };
    for (const row &r : rows) {
        auto got = orvane_platform::context_in_modifier(r.modifier);
        ASSERT_EQ(got.has_value(), r.type != nullptr) << r.modifier;
        if (!got) continue;
        EXPECT_EQ(got->type, r.type) << r.modifier;
        EXPECT_EQ(got->apn, r.apn) << r.modifier;
    }
    // What NetworkManager's keyfile reader makes of each type.
    auto c = orvane_platform::dialup_connection_of(created(u"Typed", u"web.apn"));
    struct methods {
        const char *type;
        const char *ip4;
        const char *ip6;
    };
    for (const methods &m : {methods{"IP", "auto", "disabled"}, methods{"IPV6", "disabled", "auto"},
                             methods{"IPV4V6", "auto", "auto"}}) {
        c.pdp_type = m.type;
        NMConnection *read = read_keyfile(orvane_nm::keyfile(c));
        ASSERT_NE(read, nullptr);
        EXPECT_STREQ(nm_setting_ip_config_get_method(NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip4_config(read))), m.ip4) << m.type;
        EXPECT_STREQ(nm_setting_ip_config_get_method(NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(read))), m.ip6) << m.type;
        EXPECT_STREQ(nm_setting_gsm_get_apn(nm_connection_get_setting_gsm(read)), "web.apn");
        g_object_unref(read);
    }
}

// Every field of a connection as a real NetworkManager shows it, one "field: value" a line.
std::map<std::string, std::string> shown_fields(const std::string &nmcli_output) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(nmcli_output);
    for (std::string line; std::getline(lines, line);) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::size_t value = line.find_first_not_of(' ', colon + 1);
        fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return fields;
}

// A shell function for scripts that drive the dialog in tmux on socket `socket`: `k KEYS` sends
// keys, `shows PATTERN` waits up to 10 s for the screen to show it, `ended` for the dialog to end.
std::string dialog_driver(const std::string &socket) {
    const std::string t = "tmux -S " + shell_quote(socket);
    return "k() { " + t + " send-keys \"$@\"; sleep 0.15; }; "
           "shows() { for i in $(seq 100); do " + t + " capture-pane -p | grep -q \"$1\" && return 0; sleep 0.1; "
           "done; " + t + " capture-pane -p >&2; return 1; }; "
           "ended() { for i in $(seq 100); do " + t + " has-session 2>/dev/null || return 0; sleep 0.1; done; "
           "return 1; }; "
           "dialog() { " + t + " new-session -d -x 40 -y 24 \"$1\"; }; ";
}

// With both settings on, the dialog lists the modem ModemManager has under its name, and an
// entry typed there and created goes into the running NetworkManager, bound to that modem; it
// dials the simulated modem through ModemManager with its own context type and the typed APN,
// and NetworkManager hands the port to pppd with the typed user name. (pppd stops there: this
// kernel has no PPP.) A name NetworkManager has is refused, and delete takes it from both.
TEST(ExportNetworkManager, TheDialogsEntryDialsThroughModemManagerWithItsOwnContext) {
    if (geteuid() != 0) GTEST_SKIP() << "a modem stack of the test's own needs root (unshare, mounts)";
    if (access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "a modem stack of the test's own needs unshare";
    temp_dir logs;
    const std::string tool = shell_quote(ORVANE_DEVICE_TOOL);
    temp_dir machine;
    ASSERT_EQ(chmod(machine.path().c_str(), 0700), 0);
    write_bytes(machine.path() / "device.toml",
                "[telephony]\nsource = \"modemmanager\"\n[store]\nnetworkmanager = true\n");
    const std::string on_machine = "ORVANE_DEVICE=" + shell_quote(machine.path().string()) + " ";
    auto alone = run_command(on_machine + tool + " modems");
    EXPECT_EQ(alone.out, "");  // no ModemManager here: no modems, and the tool says why
    EXPECT_EQ(alone.status, 1);
    EXPECT_NE(alone.err.find("orvane-device: no modems: "), std::string::npos) << alone.err;
    const std::string l = shell_quote(logs.path().string());
    const std::string program = shell_quote(on_machine + shell_quote(ORVANE_PROGRAM));
    // One document of two entries, the second with an APN NetworkManager refuses: neither is kept.
    {
        device_sandbox dev;
        const std::string head = "<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">";
        const std::string tail = "</characteristic></wap-provisioningdoc>";
        auto inner = [&](const std::string &doc) { return doc.substr(head.size(), doc.size() - head.size() - tail.size()); };
        write_bytes(logs.path() / "both.xml", head + inner(created(u"Good One", u"good.apn").document) +
                                                  inner(created(u"Bad One", u"a b").document) + tail);
    }
    const std::string script =
        dialog_driver((logs.path() / "tmux").string()) + "set -e; " + on_machine + tool + " modems; "
        "nmcli connection add type gsm ifname '*' con-name Theirs gsm.apn x connection.autoconnect no >/dev/null; "
        "! " + on_machine + tool + " provision " + l + "/both.xml 2> " + l + "/refused; "
        "nmcli -g NAME connection show > " + l + "/shown_refused; "
        // A name NetworkManager has, in other case, is taken.
        "dialog " + program + "; shows 'SIM-1 on ttyUSB0:'; "
        "k End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace; k -l THEIRS; k F1; "
        "shows 'such name'; k Enter; k Escape; ended; "
        "dialog " + program + "; shows 'SIM-1 on ttyUSB0:'; "
        "k End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace; k -l 'Typed Net'; "
        "k Tab Tab Tab; k -l typed.user; k Tab Tab C-a; k -l typed.apn; k F1; "
        "shows 'Connection created'; k Enter; ended; " +
        on_machine + tool + " connections > " + l + "/stored; "
        "nmcli -g connection.id,gsm.apn,gsm.username,gsm.device-id connection show 'Typed Net' > " + l + "/shown; "
        "mmcli -m 0 -K | sed -n 's/^modem.generic.device-identifier *: //p' > " + l + "/modem_id; "
        // Removed behind the program's back, sync brings it back bound to its modem again.
        "nmcli connection delete 'Typed Net' >/dev/null; " + on_machine + tool + " sync 'Typed Net' > /dev/null; "
        "nmcli -g gsm.device-id connection show 'Typed Net' > " + l + "/synced_id; "
        "nmcli --wait 20 connection up 'Typed Net' >/dev/null 2>&1 || true; " +
        on_machine + tool + " delete 'Typed Net'; " + on_machine + tool + " connections > " + l + "/stored_after; "
        "nmcli -g NAME connection show > " + l + "/shown_after; "
        // A ModemManager that stops answering: no modems within the timeout, status 1, and why.
        "mm=$(pidof ModemManager); kill -STOP $mm; start=$(date +%s%N); "
        "! " + on_machine + tool + " modems 2> " + l + "/mm_stalled; "
        "echo $(( ($(date +%s%N) - start) / 1000000 )) > " + l + "/mm_ms; kill -CONT $mm";
    auto r = run_command("ORVANE_STACK_LOGS=" + l + " unshare --net --mount --fork " +
                         shell_quote(ORVANE_WITH_MODEM_STACK) + " sh -c " + shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "0\tSIM-1 on ttyUSB0:\tUNIMODEM\ttype 1\ndeleted; removed from NetworkManager\n");
    EXPECT_NE(read_bytes(logs.path() / "refused").find("NetworkManager does not take this connection"),
              std::string::npos) << read_bytes(logs.path() / "refused");
    EXPECT_EQ(read_bytes(logs.path() / "shown_refused"), "Theirs\n");
    EXPECT_EQ(read_bytes(logs.path() / "stored"), "Typed Net\n");
    const std::string modem_id = read_bytes(logs.path() / "modem_id");
    ASSERT_EQ(modem_id.size(), 41u) << modem_id;
    EXPECT_EQ(read_bytes(logs.path() / "shown"), "Typed Net\ntyped.apn\ntyped.user\n" + modem_id);
    EXPECT_EQ(read_bytes(logs.path() / "synced_id"), modem_id);
    // The modem's block is kept by its equipment identifier (the simulated modem's IMEI).
    EXPECT_NE(read_bytes(machine.path() / "modems.toml").find("\n[modem.490154203237518]\nbaud_rate = 115200\n"),
              std::string::npos);
    const std::string modem = read_bytes(logs.path() / "modem.log");
    EXPECT_NE(modem.find("AT+CGDCONT=1,\"IP\",\"typed.apn\""), std::string::npos) << modem;
    EXPECT_EQ(modem.find("IPV4V6"), std::string::npos) << modem;
    EXPECT_NE(modem.find("ATD*99***1#"), std::string::npos) << modem;
    const std::string nm = read_bytes(logs.path() / "nm.log");
    EXPECT_NE(nm.find("user typed.user"), std::string::npos) << nm.substr(nm.size() > 4000 ? nm.size() - 4000 : 0);
    EXPECT_EQ(read_bytes(logs.path() / "stored_after"), "");
    EXPECT_EQ(read_bytes(logs.path() / "shown_after"), "Theirs\n");
    EXPECT_NE(read_bytes(logs.path() / "mm_stalled").find("ModemManager does not answer (no reply within 10 s)"),
              std::string::npos) << read_bytes(logs.path() / "mm_stalled");
    EXPECT_LT(std::stoi(read_bytes(logs.path() / "mm_ms")), 13000);
}

// The SIM in the machine's modem chooses the operator: ModemManager reads its operator
// identifier with the MNC length the SIM states (2 here, so the 3-digit "001010" is another
// operator's), its provider name tells apart the operators that share the network, and the
// network the modem is registered on (roaming, 00299) plays no part. The entry made with it is
// bound to that SIM in NetworkManager.
TEST(ExportNetworkManager, TheSimInTheModemChoosesTheOperatorAndBindsTheEntry) {
    namespace fs = std::filesystem;
    if (geteuid() != 0) GTEST_SKIP() << "a modem stack of the test's own needs root (unshare, mounts)";
    if (access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "a modem stack of the test's own needs unshare";
    temp_dir logs;
    temp_dir machine;
    ASSERT_EQ(chmod(machine.path().c_str(), 0700), 0);
    write_bytes(machine.path() / "device.toml", "[telephony]\nsource = \"modemmanager\"\n[store]\nnetworkmanager = true\n");
    // The program with its modules and an operators file of its own beside it.
    const fs::path bin = logs.path() / "bin";
    fs::create_directories(bin);
    for (const char *built : {ORVANE_PROGRAM, ORVANE_DEVICE_TOOL}) {
        fs::copy_file(built, bin / fs::path(built).filename());
        for (const char *module : {"orvane-mm.so", "orvane-nm.so"}) {
            fs::copy_file(fs::path(built).parent_path() / module, bin / module, fs::copy_options::skip_existing);
        }
    }
    write_bytes(bin / "orvanecmgr.xml",
                utf16le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<root>\r\n"
                        u"<operator Name=\"First\" User=\"\" Pwd=\"\" Apn=\"first.apn\" Phone=\"*99#\"/>\r\n"
                        u"<operator Name=\"Decoy\" User=\"\" Pwd=\"\" Apn=\"decoy.apn\" Phone=\"*99#\" Networks=\"001010\"/>\r\n"
                        u"<operator Name=\"Host\" User=\"\" Pwd=\"\" Apn=\"host.apn\" Phone=\"*99#\" Networks=\"00101\" Primary=\"1\"/>\r\n"
                        u"<operator Name=\"second virtual\" User=\"\" Pwd=\"\" Apn=\"second.apn\" Phone=\"*99#\" Networks=\"00102 00101\"/>\r\n"
                        u"<operator Name=\"Third Virtual\" User=\"\" Pwd=\"\" Apn=\"third.apn\" Phone=\"*99#\" Networks=\"00101\"/>\r\n"
                        u"<operator Name=\"Roaming\" User=\"\" Pwd=\"\" Apn=\"roaming.apn\" Phone=\"*99#\" Networks=\"00299\"/>\r\n"
                        u"</root>\r\n",
                        bom::with));
    const std::string on_machine = "ORVANE_DEVICE=" + shell_quote(machine.path().string()) + " ";
    const std::string l = shell_quote(logs.path().string());
    const std::string tool = on_machine + shell_quote((bin / "orvane-device").string());
    const std::string script =
        dialog_driver((logs.path() / "tmux").string()) + "set -e; " + tool + " modems; "
        "dialog " + shell_quote(on_machine + shell_quote((bin / "orvanecmgr").string())) + "; "
        "shows 'second.apn'; k F1; shows 'Connection created'; k Enter; ended; "
        "nmcli -g gsm.apn,gsm.sim-operator-id connection show Connection > " + l + "/shown";
    auto r = run_command("ORVANE_SIM_MNC_LENGTH=2 ORVANE_SIM_SPN='Second Virtual' ORVANE_SIM_COPS=00299 ORVANE_STACK_LOGS=" +
                         l + " unshare --net --mount --fork " + shell_quote(ORVANE_WITH_MODEM_STACK) + " sh -c " +
                         shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "0\tSIM-1 on ttyUSB0:\tUNIMODEM\ttype 1\tSIM 00101 \"Second Virtual\"\n");
    EXPECT_EQ(read_bytes(logs.path() / "shown"), "second.apn\n00101\n");
}

// With entries going to NetworkManager and none to ask, Create fails and nothing is stored, and
// delete keeps what is stored.
TEST(ExportNetworkManager, WithoutNetworkManagerCreateFailsAndNothingIsStored) {
    device_sandbox dev;
    created(u"Kept", u"kept.apn");
    dev.write_profile("[store]\nnetworkmanager = true\n");
    temp_dir work;
    // A system bus that is not there: never the machine's own NetworkManager.
    const std::string env = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (work.path() / "none").string() + " ORVANE_DEVICE=" +
                            shell_quote(dev.folder().string()) + " ";
    auto r = run_command(dialog_driver((work.path() / "tmux").string()) + "dialog " +
                         shell_quote(env + shell_quote(ORVANE_PROGRAM)) +
                         " && shows Create && k F1 && shows 'Could not create' && k Enter && k Escape && ended");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Nor is an entry deleted from one place only.
    auto deleted = run_command(env + shell_quote(ORVANE_DEVICE_TOOL) + " delete Kept");
    EXPECT_EQ(deleted.status, 1);
    EXPECT_NE(deleted.err.find("NetworkManager is not running"), std::string::npos) << deleted.err;
    auto listed = run_command(env + shell_quote(ORVANE_DEVICE_TOOL) + " connections");
    EXPECT_EQ(listed.out, "Kept\n");
    write_bytes(work.path() / "doc.xml", "<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">"
                                        "<characteristic type=\"Net\"/></characteristic></wap-provisioningdoc>");
    auto provisioned = run_command(env + shell_quote(ORVANE_DEVICE_TOOL) + " provision " +
                                   shell_quote((work.path() / "doc.xml").string()));
    EXPECT_EQ(provisioned.status, 1);
    // With the bus's own reason.
    EXPECT_NE(provisioned.err.find("NetworkManager is not running: no system bus to ask it on (Could not connect: No "
                                   "such file or directory)"),
              std::string::npos) << provisioned.err;
}

// Host mode as a real machine has it: hundreds of connections of others, connections renamed
// or removed behind the program's back, a NetworkManager that stops answering, and two users
// creating names that fold alike at the same instant. The private bus keeps dbus-daemon's own
// limits (128 pending replies a client), as Debian's system bus does.
TEST(ExportNetworkManager, HostModeHoldsAsRealMachinesAre) {
    if (geteuid() != 0) GTEST_SKIP() << "a NetworkManager of the test's own needs root (unshare, mounts, other users)";
    if (access("/usr/bin/unshare", X_OK) != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs unshare and setpriv";
    }
    temp_dir work;
    ASSERT_EQ(chmod(work.path().c_str(), 0755), 0);
    const std::string w = shell_quote(work.path().string());
    const std::string tool = shell_quote(ORVANE_DEVICE_TOOL);
    for (const char *who : {"root", "u1", "u2"}) {
        std::filesystem::create_directories(work.path() / who);
        write_bytes(work.path() / who / "device.toml", "[store]\nnetworkmanager = true\n");
    }
    ASSERT_EQ(system(("chown -R 1001:1001 " + w + "/u1 && chown -R 1002:1002 " + w + "/u2 && chmod 700 " + w + "/*").c_str()), 0);
    const std::string script = dialog_driver((work.path() / "tmux").string()) + "set -u; w=" + w + "; tool=" + tool +
        "; ORVANE_PROGRAM=" + shell_quote(ORVANE_PROGRAM) + "; "
        "doc() { printf '<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\"><characteristic type=\"%s\">"
        "<parm name=\"Phone\" value=\"*99#\"/></characteristic></characteristic></wap-provisioningdoc>' \"$1\" > \"$w/$2\"; "
        "chmod 644 \"$w/$2\"; }; "
        "as_root() { ORVANE_DEVICE=$w/root \"$tool\" \"$@\"; }; "
        // The bus refuses a uid it cannot name: the two users exist in this mount namespace only.
        "cp /etc/passwd /etc/group $w/; for u in 1001 1002; do echo \"orvane-$u:x:$u:$u::/nonexistent:/usr/sbin/nologin\" "
        ">> $w/passwd; echo \"orvane-$u:x:$u:\" >> $w/group; done; "
        "mount --bind $w/passwd /etc/passwd && mount --bind $w/group /etc/group || exit 1; "
        "i=1; while [ $i -le 250 ]; do printf '[connection]\\nid=Other %d\\nuuid=%s\\ntype=ethernet\\nautoconnect=false\\n"
        "[ipv4]\\nmethod=disabled\\n[ipv6]\\nmethod=disabled\\n' $i $(cat /proc/sys/kernel/random/uuid) "
        "> \"$ORVANE_NM_KEYFILES/other$i.nmconnection\"; i=$((i+1)); done; "
        "for i in $(seq 0 98); do n=\"Connection $i\"; [ $i = 0 ] && n=Connection; printf '[connection]\\nid=%s\\nuuid=%s\\n"
        "type=ethernet\\nautoconnect=false\\n[ipv4]\\nmethod=disabled\\n[ipv6]\\nmethod=disabled\\n' \"$n\" "
        "$(cat /proc/sys/kernel/random/uuid) > \"$ORVANE_NM_KEYFILES/taken$i.nmconnection\"; done; "
        "chmod 600 \"$ORVANE_NM_KEYFILES\"/*; nmcli connection reload; "
        // The dialog proposes its name against all 349 of them, read once.
        "start=$(date +%s%N); dialog \"ORVANE_DEVICE=$w/root '$ORVANE_PROGRAM'\"; shows 'Connection 99' || exit 1; "
        "echo $(( ($(date +%s%N) - start) / 1000000 )) > $w/start_ms; k Escape; ended; "
        // Names NetworkManager has, far down its list, in other case.
        "for n in 'other 180' 'OTHER 250' 'Mine' 'Renamed' 'Gone' 'Lost'; do doc \"$n\" \"$n.xml\"; done; "
        "for n in 'other 180' 'OTHER 250'; do as_root provision \"$w/$n.xml\" >/dev/null 2>> $w/taken; echo $? >> $w/taken; done; "
        // nmcli itself loses connections past the bus's limit: NetworkManager's files tell.
        "as_root provision $w/Mine.xml > /dev/null; ls \"$ORVANE_NM_KEYFILES\" | grep -c '^Mine' > $w/deleted; "
        "as_root delete Mine >> $w/deleted; ls \"$ORVANE_NM_KEYFILES\" | grep -c '^Mine' >> $w/deleted; "
        "rm \"$ORVANE_NM_KEYFILES\"/other* \"$ORVANE_NM_KEYFILES\"/taken*; nmcli connection reload; "
        // Sync leaves out, and fails for, an entry whose name another connection has.
        "doc Clash Clash.xml; as_root provision $w/Clash.xml > /dev/null; nmcli connection delete Clash > /dev/null; "
        "nmcli connection add type ethernet ifname '*' con-name clash connection.autoconnect no > /dev/null; "
        "as_root sync Clash 2> $w/clash; echo $? >> $w/clash; as_root delete Clash > /dev/null; "
        // Renamed and removed behind the program's back.
        "for n in Renamed Gone Lost; do as_root provision \"$w/$n.xml\" > /dev/null; done; "
        "nmcli connection modify Renamed connection.id 'Theirs now'; nmcli connection delete Gone Lost > /dev/null; "
        "as_root connections > $w/drift; as_root sync > $w/synced; as_root connections >> $w/drift; "
        "for n in Renamed Gone Lost; do as_root delete \"$n\" >> $w/drift_deleted; done; "
        "nmcli -g NAME connection show | grep -c -e '^Theirs now$' -e '^Gone$' >> $w/drift_deleted; "
        // A NetworkManager that stops answering: refused within the timeout, nothing stored.
        "doc Stalled Stalled.xml; nm=$(pidof NetworkManager); kill -STOP $nm; start=$(date +%s%N); "
        "as_root provision $w/Stalled.xml 2> $w/stalled; echo $? >> $w/stalled; "
        "echo $(( ($(date +%s%N) - start) / 1000000 )) > $w/stalled_ms; kill -CONT $nm; "
        "as_root connections > $w/after_stall; "
        // Two users at once, five times.
        "for round in 1 2 3 4 5; do doc \"Same $round\" a$round.xml; doc \"SAME $round\" b$round.xml; "
        "ORVANE_DEVICE=$w/u1 setpriv --reuid=1001 --regid=1001 --clear-groups \"$tool\" provision $w/a$round.xml "
        ">/dev/null 2>>$w/users_err & a=$!; "
        "ORVANE_DEVICE=$w/u2 setpriv --reuid=1002 --regid=1002 --clear-groups \"$tool\" provision $w/b$round.xml "
        ">/dev/null 2>>$w/users_err & b=$!; "
        "wait $a; sa=$?; wait $b; sb=$?; echo \"$sa $sb $(nmcli -g NAME connection show | grep -ci \"^same $round$\")\" >> $w/users; "
        "done; true";
    auto r = run_command("unshare --net --mount " + shell_quote(ORVANE_WITH_NETWORKMANAGER) + " sh -c " + shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string taken = read_bytes(work.path() / "taken");
    EXPECT_NE(taken.find("NetworkManager has a connection named \"Other 180\"\n1\n"), std::string::npos) << taken;
    EXPECT_NE(taken.find("NetworkManager has a connection named \"Other 250\"\n1\n"), std::string::npos) << taken;
    EXPECT_EQ(read_bytes(work.path() / "deleted"), "1\ndeleted; removed from NetworkManager\n0\n");
    EXPECT_LT(std::stoi(read_bytes(work.path() / "start_ms")), 4000);
    EXPECT_EQ(read_bytes(work.path() / "clash"),
              "orvane-device: Clash: NetworkManager has another connection named \"clash\"; not added\n1\n");
    EXPECT_EQ(read_bytes(work.path() / "drift"),
              "Renamed\t(in NetworkManager as \"Theirs now\")\nGone\t(not in NetworkManager)\nLost\t(not in NetworkManager)\n"
              "Renamed\t(in NetworkManager as \"Theirs now\")\nGone\nLost\n");
    EXPECT_EQ(read_bytes(work.path() / "synced"),
              "Renamed: in NetworkManager as \"Theirs now\"\nGone: added to NetworkManager\nLost: added to NetworkManager\n");
    EXPECT_EQ(read_bytes(work.path() / "drift_deleted"),
              "deleted; removed from NetworkManager, where it was named \"Theirs now\"\n"
              "deleted; removed from NetworkManager\ndeleted; removed from NetworkManager\n0\n");
    const std::string stalled = read_bytes(work.path() / "stalled");
    EXPECT_NE(stalled.find("NetworkManager does not answer (no reply within 10 s)"), std::string::npos) << stalled;
    EXPECT_EQ(stalled.substr(stalled.size() - 2), "1\n");
    EXPECT_LT(std::stoi(read_bytes(work.path() / "stalled_ms")), 13000);
    EXPECT_EQ(read_bytes(work.path() / "after_stall"), "");
    // Each round: one of the two made it, the other was told the name is taken, and
    // NetworkManager holds exactly one.
    std::istringstream rounds(read_bytes(work.path() / "users"));
    int count = 0;
    for (std::string line; std::getline(rounds, line); ++count) {
        EXPECT_TRUE(line == "0 1 1" || line == "1 0 1") << line << "\n" << read_bytes(work.path() / "users_err");
    }
    EXPECT_EQ(count, 5);
    const std::string users_err = read_bytes(work.path() / "users_err");
    std::size_t told = 0;
    for (std::size_t at = 0; (at = users_err.find("NetworkManager has a connection named \"", at)) != std::string::npos; ++at) ++told;
    EXPECT_EQ(told, 5u) << users_err;
}

// A NetworkManager that stops answering holds the dialog up for the service timeout at most,
// and a signal ends it at once, in the middle of Create too, storing nothing.
TEST(ExportNetworkManager, TheDialogEndsOnASignalWhileNetworkManagerHangs) {
    if (geteuid() != 0) GTEST_SKIP() << "a NetworkManager of the test's own needs root (unshare, mounts)";
    if (access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "a NetworkManager of the test's own needs unshare";
    device_sandbox dev;
    dev.write_profile("[store]\nnetworkmanager = true\n");
    temp_dir work;
    const std::string w = shell_quote(work.path().string());
    const std::string program = shell_quote(ORVANE_PROGRAM);
    const std::string script = dialog_driver((work.path() / "tmux").string()) + "set -u; w=" + w + "; "
        "ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }; "
        "nm=$(pidof NetworkManager); "
        // Create, then NetworkManager stops before it answers; SIGTERM while Create waits.
        "dialog '" + program + " 2> " + w + "/create.err'; shows Create || exit 1; kill -STOP $nm; k F1; sleep 1; "
        "pid=$(pidof orvanecmgr); start=$(date +%s%N); kill -TERM $pid; "
        "while kill -0 $pid 2>/dev/null; do sleep 0.02; done; ms $start > $w/term_ms; "
        // Started while it does not answer: the dialog shows within the timeout, and says why.
        "start=$(date +%s%N); dialog '" + program + " 2> " + w + "/start.err'; shows Create || shows Create || exit 1; ms $start > $w/start_ms; "
        "k Escape; ended; kill -CONT $nm; " + shell_quote(ORVANE_DEVICE_TOOL) + " connections > $w/stored";
    auto r = run_command("unshare --net --mount " + shell_quote(ORVANE_WITH_NETWORKMANAGER) + " sh -c " + shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_LT(std::stoi(read_bytes(work.path() / "term_ms")), 1000);
    EXPECT_NE(read_bytes(work.path() / "create.err").find("not created: NetworkManager was not waited for"), std::string::npos)
        << read_bytes(work.path() / "create.err");
    EXPECT_LT(std::stoi(read_bytes(work.path() / "start_ms")), 13000);
    EXPECT_NE(read_bytes(work.path() / "start.err").find("NetworkManager does not answer (no reply within 10 s)"),
              std::string::npos) << read_bytes(work.path() / "start.err");
    EXPECT_EQ(read_bytes(work.path() / "stored"), "");
}

TEST(ExportNetworkManager, ARealNetworkManagerTakesEveryField) {
    if (geteuid() != 0) GTEST_SKIP() << "a NetworkManager of the test's own needs root (unshare, mounts)";
    if (access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "a NetworkManager of the test's own needs unshare";
    device_sandbox dev;
    created(u"Connection 1", u"web.apn");
    created(u"Second", u"", u"*99#");
    const std::string tool = shell_quote(ORVANE_DEVICE_TOOL);
    const std::string fields =
        "connection.id,connection.uuid,connection.type,connection.autoconnect,gsm.apn,gsm.number,gsm.username,"
        "gsm.password,serial.baud,ipv4.method,ipv6.method";
    // Added through NetworkManager's own interface; a second add of the same entry is refused.
    // Exported as a file into its keyfile folder and loaded: NetworkManager shows the same.
    const std::string script =
        tool + " export 'Connection 1' --to networkmanager --add && "
        "! " + tool + " export 'Connection 1' --to networkmanager --add 2>/dev/null && "
        // A busy NetworkManager may show a connection's secrets only once it has stored them.
        "for i in 1 2 3 4 5 6 7 8 9 10; do "
        "out=$(nmcli -s -f " + fields + " connection show 'Connection 1') || exit 1; "
        "echo \"$out\" | grep -q '^gsm.password: *--$' || break; sleep 0.5; done && "
        "echo \"$out\" && echo '--' && " +
        tool + " export Second --to networkmanager --output \"$ORVANE_NM_KEYFILES/Second.nmconnection\" && "
        "nmcli connection load \"$ORVANE_NM_KEYFILES/Second.nmconnection\" && "
        "for i in 1 2 3 4 5 6 7 8 9 10; do "
        "out=$(nmcli -s -f " + fields + " connection show Second) || exit 1; "
        "echo \"$out\" | grep -q '^gsm.password: *--$' || break; sleep 0.5; done && "
        "echo \"$out\" && ls \"$ORVANE_NM_KEYFILES\"";
    auto r = run_command("unshare --net --mount " + shell_quote(ORVANE_WITH_NETWORKMANAGER) + " sh -c " +
                         shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::size_t split = r.out.find("\n--\n");
    ASSERT_NE(split, std::string::npos) << r.out;
    auto first = shown_fields(r.out.substr(0, split));
    auto second = shown_fields(r.out.substr(split));
    EXPECT_EQ(first["connection.id"], "Connection 1");
    EXPECT_EQ(first["connection.uuid"].size(), 36u);
    EXPECT_EQ(first["connection.type"], "gsm");
    EXPECT_EQ(first["connection.autoconnect"], "no");
    EXPECT_EQ(first["gsm.apn"], "\"web.apn\"");  // nmcli quotes an APN
    EXPECT_EQ(first["gsm.number"], "*99***1#");
    EXPECT_EQ(first["gsm.username"], "web");
    EXPECT_EQ(first["gsm.password"], "p\"w d");
    EXPECT_EQ(first["serial.baud"], "115200");
    EXPECT_EQ(first["ipv4.method"], "auto");
    EXPECT_EQ(first["ipv6.method"], "disabled");  // the entry's context is "IP"
    EXPECT_EQ(second["connection.id"], "Second");
    EXPECT_EQ(second["gsm.apn"], "--");
    EXPECT_EQ(second["gsm.number"], "*99#");
    EXPECT_EQ(second["gsm.password"], "p\"w d");
    EXPECT_NE(second["connection.uuid"], first["connection.uuid"]);
    // The added one kept on disk, beside the loaded file.
    EXPECT_NE(r.out.find("Connection 1.nmconnection"), std::string::npos) << r.out;
}

// Exported by the tool and put where its advice says, the peers file's own connect line dials
// the simulated modem with the entry's APN and number.
TEST(ExportPppd, ThePeersFilesConnectLineDialsFromItsFinalPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "/etc/ppp/peers of the test's own needs root (unshare, mounts)";
    if (access("/usr/sbin/chat", X_OK) != 0) GTEST_SKIP() << "chat (Debian package ppp) is not installed";
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"Hayes Compatible on COM1:\"\nport = \"/dev/ttyS0\"\n");
    created(u"Peer Net", u"peer.apn", u"*99#");
    temp_dir dir;
    const std::string d = shell_quote(dir.path().string());
    const std::string script =
        shell_quote(ORVANE_DEVICE_TOOL) + " export 'Peer Net' --to pppd --output " + d + "/out >/dev/null && "
        // The folder it was written to is hidden: only /etc/ppp/peers leads to the files.
        "mount --bind " + d + "/out /etc/ppp/peers && mount -t tmpfs tmpfs " + d + "/out && "
        "python3 " + shell_quote(ORVANE_SIM_MODEM) + " " + d + "/tty " + d + "/modem.log & modem=$!; "
        "for i in $(seq 50); do [ -e " + d + "/tty ] && break; sleep 0.1; done; "
        "connect=$(sed -n 's/^connect \"\\(.*\\)\"$/\\1/p' /etc/ppp/peers/Peer_Net) && "
        "sh -c \"$connect\" <" + d + "/tty >" + d + "/tty; status=$?; kill $modem; wait $modem; exit $status";
    ASSERT_EQ(system(("mkdir " + d + "/out").c_str()), 0);
    auto r = run_command("unshare --mount sh -c " + shell_quote(script));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string modem = read_bytes(dir.path() / "modem.log");
    EXPECT_NE(modem.find("AT+CGDCONT=1,\"IP\",\"peer.apn\"\nATD*99#"), std::string::npos) << modem;
}

// What pppd itself reads of the peers file: every byte from 1 to 255 in the user name comes
// back as written, or the export refuses the value (a control character).
// pppd's dry run needs /dev/ppp only to open it, so a file stands in for it in a /dev of the
// test's own ("local": no hang-up, which waits a second).
TEST(ExportPppd, PppdReadsEveryByteOfUserAndPasswordAsWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "a /dev of the test's own needs root (unshare, mounts)";
    if (access("/usr/sbin/pppd", X_OK) != 0) GTEST_SKIP() << "pppd (Debian package ppp) is not installed";
    temp_dir dir;
    orvane_export::connection c;
    c.name = "Every byte";
    c.phone = "*99#";
    c.baud = 115200;
    std::vector<int> written;
    for (int b = 1; b <= 255; ++b) {
        const std::string byte(1, static_cast<char>(b));
        c.user = "u" + byte + "x";
        c.password = "p" + byte + "y";
        try {
            auto files = orvane_export::pppd_export(c, "/dev/ttyS0", "/x.chat");
            write_bytes(dir.path() / std::to_string(b), files.peers);
            written.push_back(b);
        } catch (const orvane_export::export_error &) {
            EXPECT_TRUE(b < 0x20 || b == 0x7F) << "byte " << b << " refused";
        }
    }
    EXPECT_EQ(written.size(), 255u - 32u);
    const std::string d = shell_quote(dir.path().string());
    const std::string script = "mkdir " + d + "/dev && mount --bind /dev " + d + "/dev && mount -t tmpfs tmpfs /dev && "
        "for n in null zero tty urandom ttyS0; do touch /dev/$n && mount --bind " + d + "/dev/$n /dev/$n || exit 1; done; "
        "touch /dev/ppp; for f in " + d + "/[0-9]*; do pppd file \"$f\" dryrun nodetach local > \"$f.read\" 2>&1; done";
    auto r = run_command("unshare --mount sh -c " + shell_quote(script));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // pppd prints a value with \ and " escaped and the bytes 0x80 to 0x9F as \xNN.
    auto value_of = [](const std::string &printed, const std::string &option) {
        std::size_t at = printed.find("\n" + option + " ");
        if (at == std::string::npos) return std::string("(not read)");
        at += option.size() + 2;
        std::string out;
        for (; at < printed.size() && printed.compare(at, 3, "\t\t#") != 0; ++at) {
            if (printed[at] != '\\') {
                out += printed[at];
            } else if (at + 3 < printed.size() && printed[at + 1] == 'x') {
                out += static_cast<char>(std::stoi(printed.substr(at + 2, 2), nullptr, 16));
                at += 3;
            } else {
                out += printed[++at];
            }
        }
        return out;
    };
    for (int b : written) {
        const std::string byte(1, static_cast<char>(b));
        const std::string printed = read_bytes(dir.path() / (std::to_string(b) + ".read"));
        EXPECT_EQ(value_of(printed, "user"), "u" + byte + "x") << "byte " << b << "\n" << printed;
        // pppd never prints a password, not even in a dry run: it is written as the user name is.
        EXPECT_EQ(printed.find("\npassword "), printed.find("\npassword ??????")) << "byte " << b;
    }
}

TEST(ExportPppd, ChatDialsTheSimulatedModemWithTheRightCommands) {
    if (access("/usr/sbin/chat", X_OK) != 0) GTEST_SKIP() << "chat (Debian package ppp) is not installed";
    device_sandbox dev;
    temp_dir dir;
    struct attempt {
        std::u16string name, apn, phone;
        std::vector<std::string> commands;
    };
    std::vector<attempt> attempts = {
        {u"With APN", u"web.apn", u"*99#", {"ATE0", "AT+CGDCONT=1,\"IP\",\"web.apn\"", "ATD*99#"}},
        {u"Without", u"", u"*99***1#", {"ATE0", "ATD*99***1#"}},
        // Words chat waits for or aborts on, which an echo would carry.
        {u"Echoed", u"ERROR.NET", u"#777", {"ATE0", "AT+CGDCONT=1,\"IP\",\"ERROR.NET\"", "ATD#777"}},
        {u"Echoed OK", u"OK.NET", u"*99#", {"ATE0", "AT+CGDCONT=1,\"IP\",\"OK.NET\"", "ATD*99#"}},
    };
    for (const auto &a : attempts) {
        auto c = orvane_platform::dialup_connection_of(created(a.name, a.apn, a.phone));
        std::string chat_path = (dir / (u8(a.name) + ".chat")).string();
        auto files = orvane_export::pppd_export(c, "/dev/ttyUSB0", chat_path);
        write_bytes(chat_path, files.chat);
        int status = -1;
        EXPECT_EQ(dial_with_chat(chat_path, status), a.commands) << files.chat;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "chat ended with " << status;
        EXPECT_NE(files.peers.find("\n\"/dev/ttyUSB0\"\n115200\n"), std::string::npos) << files.peers;
        EXPECT_NE(files.peers.find("\nconnect \"/usr/sbin/chat -v -f '" + chat_path + "'\"\n"), std::string::npos);
    }
    // What the files, chat or the modem cannot take is refused, not written.
    auto c = orvane_platform::dialup_connection_of(created(u"Broken", u"web"));
    auto refused = [&](orvane_export::connection broken) {
        EXPECT_THROW(orvane_export::pppd_export(broken, "/dev/ttyUSB0", "/x.chat"), orvane_export::export_error);
    };
    for (const char *phone : {"*99#\nATH", "", "*99#;"}) {
        auto b = c;
        b.phone = phone;
        refused(b);
    }
    auto b = c;
    b.password = std::string("a\0b", 3);
    refused(b);
    b.password = std::string(256, 'p');
    refused(b);
    b.password = std::string(255, 'p');
    EXPECT_NO_THROW(orvane_export::pppd_export(b, "/dev/ttyUSB0", "/x.chat"));
    b.baud = 14400;  // a speed the handheld's provider knows and Linux does not
    refused(b);
    // Every speed termios names is taken, and the number after it is not.
    const std::pair<speed_t, std::uint32_t> linux_speeds[] = {
        {B50, 50}, {B75, 75}, {B110, 110}, {B134, 134}, {B150, 150}, {B200, 200}, {B300, 300}, {B600, 600},
        {B1200, 1200}, {B1800, 1800}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
        {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000}};
    for (const auto &[constant, bps] : linux_speeds) {
        termios t{};
        ASSERT_EQ(cfsetospeed(&t, constant), 0) << bps;
        b = c;
        b.baud = bps;
        EXPECT_NO_THROW(orvane_export::pppd_export(b, "/dev/ttyUSB0", "/x.chat")) << bps;
        b.baud = bps + 1;
        refused(b);
    }
    // The APNs a modem cannot take are those NetworkManager refuses too.
    for (const char *apn : {"web", "a.b-c_d", "a@b", "we\"b", "a b", "caf\xC3\xA9", "x'y", "",
                            "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                            "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}) {
        b = c;
        b.apn = apn;
        bool by_pppd = true;
        bool by_nm = true;
        try {
            orvane_export::pppd_export(b, "/dev/ttyUSB0", "/x.chat");
        } catch (const orvane_export::export_error &) {
            by_pppd = false;
        }
        try {
            orvane_nm::keyfile(b);
        } catch (const orvane_export::export_error &) {
            by_nm = false;
        }
        EXPECT_EQ(by_pppd, by_nm) << apn;
    }
}

TEST(ExportPppd, FileNamesThatPonTakes) {
    EXPECT_EQ(orvane_export::pppd_file_name("Connection 1"), "Connection_1");
    EXPECT_EQ(orvane_export::pppd_file_name("-x a.b+c_d"), "_x_a.b+c_d");
    EXPECT_EQ(orvane_export::pppd_file_name("Z\xC3\xBCrich"), "Z_rich");
}
