// The device tool, run as a program.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "common/utf.h"
#include "support/test_support.h"

using namespace orvane_test;

namespace {

command_result tool(const std::string &args) { return run_command(shell_quote(ORVANE_DEVICE_TOOL) + " " + args); }

}  // namespace

TEST(DeviceTool, ProvisionShowConnectionsDelete) {
    device_sandbox dev;
    temp_dir dir;
    write_bytes(dir / "doc.xml", provisioning_doc(provisioning_entry(
                                     "Work", "<parm name=\"Phone\" value=\"*99#\"/><parm name=\"DeviceSpecificRAW\" value=\"\"/>")));
    auto r = tool("provision " + shell_quote((dir / "doc.xml").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    r = tool("provision " + shell_quote((dir / "doc.xml").string()));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    r = tool("connections");
    EXPECT_EQ(r.out, "Work\n");
    r = tool("show --json work");
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["name"], "Work");
    EXPECT_EQ(j["parms"]["Phone"], "*99#");
    EXPECT_TRUE(j["device_config"].is_null());
    EXPECT_NE(j["document"].get<std::string>().find("CM_PPPEntries"), std::string::npos);
    r = tool("show Work");
    EXPECT_NE(r.out.find("Phone = *99#"), std::string::npos);
    EXPECT_EQ(tool("delete WORK").status, 0);
    EXPECT_NE(tool("delete Work").status, 0);
    EXPECT_EQ(tool("connections --json").out, "[]\n");
}

TEST(DeviceTool, ModemsAndBadInput) {
    device_sandbox dev;
    auto r = tool("modems --json");
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[1]["name"], "Hayes Compatible on COM1:");
    EXPECT_EQ(j[1]["type"], 1);
    dev.write_profile("[[modem]]\nname = 3\n");
    r = tool("modems");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    // What nothing reads is named where it stands, and the handheld runs all the same.
    dev.write_profile("[[modem]]\nname = \"M\"\nbaud = 9600\n[extra]\n[faults]\nfail = [\"lineopen\"]\n");
    r = tool("modems");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char *said : {"line 3, column 1: the modem key \"baud\"", "line 4, column 2: the table or key \"extra\"",
                             "line 6, column 9: \"lineopen\" is no platform call"}) {
        EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
    }
    dev.write_profile("[[modem]]\nname = \"M\"\ndial_modifier = \"" + std::string(256, 'x') + "\"\n");
    EXPECT_NE(tool("modems").err.find("line 3"), std::string::npos);
    std::string many;
    for (int i = 0; i < 65; ++i) many += "[[modem]]\nname = \"M" + std::to_string(i) + "\"\n";
    dev.write_profile(many);
    r = tool("modems");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("at most 64 modems"), std::string::npos) << r.err;
    // A capability query that fails is said, and the status tells it.
    dev.write_profile("[[modem]]\nname = \"M\"\n[faults]\nfail = [\"lineGetDevCaps\"]\n");
    r = tool("modems");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("device 0: its capabilities cannot be read"), std::string::npos) << r.err;
    EXPECT_NE(tool("show Nobody").status, 0);
    EXPECT_NE(tool("provision /nonexistent/file").status, 0);
    EXPECT_NE(tool("frobnicate").status, 0);
    EXPECT_NE(tool("").status, 0);
    r = run_command("echo '<bad' | " + shell_quote(ORVANE_DEVICE_TOOL) + " provision -");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("well-formed"), std::string::npos) << r.err;
}

TEST(DeviceTool, SecretsMaskedAndExportFilesPrivate) {
    device_sandbox dev;
    temp_dir dir;
    write_bytes(dir / "doc.xml", provisioning_doc(provisioning_entry(
                                     "Work", "<parm name=\"Password\" value=\"s3cret\"/><parm name=\"DeviceName\" value=\"M\"/>"
                                             "<parm name=\"DeviceSpecificRAW\" value=\"" + std::string(1056, '0') + "\"/>")));
    ASSERT_EQ(tool("provision " + shell_quote((dir / "doc.xml").string())).status, 0);
    for (const char *args : {"show Work", "show --json Work", "connections --json"}) {
        auto r = tool(args);
        EXPECT_EQ(r.out.find("s3cret"), std::string::npos) << args << "\n" << r.out;  // nor in the document
        EXPECT_NE(r.out.find("<hidden>"), std::string::npos) << args;
        EXPECT_NE(tool(std::string(args) + " --show-secrets").out.find("s3cret"), std::string::npos) << args;
    }
    // An unreadable block is a failure of the export; a readable one without a port is too.
    auto key = dir / "work.nmconnection";
    EXPECT_EQ(tool("export Work --to networkmanager --output " + shell_quote(key.string())).status, 1);
    auto r = run_command("printf '%s' " +
                         shell_quote(provisioning_doc(provisioning_entry(
                             "Net", "<parm name=\"Phone\" value=\"*99#\"/><parm name=\"DeviceName\" value=\"M\"/><parm name=\"DeviceSpecificRAW\" "
                                    "value=\"4F5644430100010000C20100" + std::string(1032, '0') + "\"/>"))) +
                         " | " + shell_quote(ORVANE_DEVICE_TOOL) + " provision -");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(tool("export Net --to networkmanager --output " + shell_quote(key.string())).status, 0);
    EXPECT_EQ(std::filesystem::status(key).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    r = tool("export Net --to networkmanager --output " + shell_quote(key.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(tool("export Net --to networkmanager --force --output " + shell_quote(key.string())).status, 0);
    // The UUID is the handheld's: with another identity, the same entry exports another one.
    auto uuid = [&] {
        std::string text = tool("export Net --to networkmanager").out;
        std::size_t at = text.find("\nuuid=");
        return at == std::string::npos ? std::string() : text.substr(at, 43);
    };
    const std::string first = uuid();
    ASSERT_EQ(first.size(), 43u);
    std::filesystem::remove(dev.folder() / "identity");
    EXPECT_NE(uuid(), first);
    // libnm is loaded for this export alone: a copy of the tool without its module still
    // lists, and its export says what is missing.
    std::filesystem::copy_file(ORVANE_DEVICE_TOOL, dir / "orvane-device");
    const std::string alone = shell_quote((dir / "orvane-device").string());
    EXPECT_EQ(run_command(alone + " connections").out, "Work\nNet\n");
    r = run_command(alone + " export Net --to networkmanager");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/lib/orvane/orvane-nm.so, which is missing"), std::string::npos) << r.err;
    r = tool("export Net --to pppd --output " + shell_quote(dir.path().string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no serial device"), std::string::npos) << r.err;
    dev.write_profile("[[modem]]\nname = \"M\"\nport = \"/dev/ttyUSB0\"\n");
    // A failure at the second file, after the first is written, leaves neither and no
    // hidden copy: here a folder stands where the second goes.
    std::filesystem::create_directories(dir / "Net" / "x");
    r = tool("export Net --to pppd --force --output " + shell_quote(dir.path().string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "Net.chat")) << r.err;
    for (const auto &e : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
    std::filesystem::remove_all(dir / "Net");
    ASSERT_EQ(tool("export Net --to pppd --output " + shell_quote(dir.path().string())).status, 0);
    for (const char *f : {"Net", "Net.chat"}) {
        EXPECT_EQ(std::filesystem::status(dir / f).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write) << f;
    }
}

TEST(DeviceTool, UsageErrorsOutputFailuresAndEscapedNames) {
    device_sandbox dev;
    auto r = tool("connections --bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("orvane-device: unknown option --bogus\n", 0), 0u) << r.err;
    r = tool("bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command \"bogus\"; the commands are modems, connections"), std::string::npos) << r.err;
    EXPECT_EQ(tool("export X --to nowhere").status, 2);
    EXPECT_NE(tool("--help").out.find("Exit status"), std::string::npos);
    EXPECT_EQ(tool("show Nobody").status, 1);
    EXPECT_EQ(run_command("{ " + shell_quote(ORVANE_DEVICE_TOOL) + " modems >/dev/full; }").status, 1);
}

// A name reaches the terminal with every character escaped that would move its cursor, break its
// line or turn the direction of what follows: C0, DEL, C1, the line and paragraph separators, the
// bidirectional controls; their neighbours (the same first bytes) as they are.
TEST(DeviceTool, NamesReachTheTerminalWithEveryControlEscaped) {
    device_sandbox dev;
    std::vector<char32_t> escaped = {0x7F, 0x2028, 0x2029, 0x061C, 0x200E, 0x200F};
    for (char32_t c = 1; c < 0x20; ++c) escaped.push_back(c);
    for (char32_t c = 0x80; c <= 0x9F; ++c) escaped.push_back(c);
    for (char32_t c = 0x202A; c <= 0x202E; ++c) escaped.push_back(c);
    for (char32_t c = 0x2066; c <= 0x2069; ++c) escaped.push_back(c);
    const std::vector<char32_t> kept = {0x7E, 0xA0, 0x061B, 0x200D, 0x2027, 0x202F, 0x2065, 0x206A, 0x20A8};
    std::string script;
    auto utf8 = [](char32_t c) {
        std::u16string units;
        orvane_platform::append_utf16(units, c);
        return orvane_platform::to_utf8(units);
    };
    for (const std::vector<char32_t> *set : std::initializer_list<const std::vector<char32_t> *>{&escaped, &kept}) {
        for (char32_t c : *set) {
            std::string arg = "printf 'a";
            for (unsigned char b : utf8(c)) {
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o", b);
                arg += octal;
            }
            script += shell_quote(ORVANE_DEVICE_TOOL) + " show \"$(" + arg + "b')\" 2>&1; ";
        }
    }
    const std::string out = run_command("{ " + script + "}").out;
    for (char32_t c : escaped) {
        char want[16];
        std::snprintf(want, sizeof want, c < 0x80 ? "\"a\\x%02Xb\"" : "\"a\\u%04Xb\"", static_cast<unsigned>(c));
        EXPECT_NE(out.find(want), std::string::npos) << want;
    }
    for (char32_t c : kept) EXPECT_NE(out.find("\"a" + utf8(c) + "b\""), std::string::npos) << static_cast<unsigned>(c);
}

TEST(DeviceTool, TextThatIsNotUtf8IsNamedNeverReplaced) {
    device_sandbox dev;
    temp_dir dir;
    write_bytes(dir / "doc.xml", provisioning_doc("<characteristic type=\"A\xFF" "b\"/>"));
    auto r = tool("provision " + shell_quote((dir / "doc.xml").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not valid UTF-8 (at byte 81)"), std::string::npos) << r.err;
    EXPECT_EQ(tool("connections").out, "");
    // A store that already holds a bad value: the others are listed, the bad one is named.
    for (const char *n : {"Good", "Bad"}) {
        write_bytes(dir / "e.xml", provisioning_doc(provisioning_entry(n)));
        ASSERT_EQ(tool("provision " + shell_quote((dir / "e.xml").string())).status, 0);
    }
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(dev.store().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE parms SET value = CAST(X'41ED' AS TEXT) WHERE entry_id = "
                               "(SELECT id FROM entries WHERE name = 'Bad')", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE entries SET name = 'G' || char(27) || '[2Jd' WHERE name = 'Good'", nullptr,
                           nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(tool("connections").out, "G\\x1B[2Jd\nBad\n");  // a control sequence is listed escaped
    r = tool("connections --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(nlohmann::json::parse(r.out).size(), 1u) << r.out;
    EXPECT_NE(r.err.find("\"Bad\""), std::string::npos) << r.err;
}

TEST(DeviceTool, AnotherUsersFolderIsRefusedEvenWhereItCannotBeRead) {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the tool as another user";
    }
    device_sandbox dev;
    temp_dir dir;
    write_bytes(dir / "doc.xml", provisioning_doc(provisioning_entry("Work")));
    ASSERT_EQ(tool("provision " + shell_quote((dir / "doc.xml").string())).status, 0);
    std::filesystem::permissions(dev.folder().parent_path(), std::filesystem::perms::owner_all |
                                                             std::filesystem::perms::group_exec |
                                                             std::filesystem::perms::others_exec);
    const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups env ORVANE_DEVICE=" +
                                  shell_quote(dev.folder().string()) + " " + shell_quote(ORVANE_DEVICE_TOOL);
    for (const char *command : {" connections", " show Work"}) {
        auto r = run_command(as_nobody + command);
        EXPECT_EQ(r.status, 1) << command << r.out;
        EXPECT_NE(r.err.find("belongs to another user"), std::string::npos) << command << r.err;
    }
}

namespace {

// The width and height a PNG file's header gives.
std::pair<int, int> png_size(const std::filesystem::path &file) {
    std::string bytes = read_bytes(file);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {be32(16), be32(20)};
}

}  // namespace

// The fit check names what the screen cuts, where, and how much; a translation that fits
// passes. Screenshots come in both orientations at the screen asked for.
TEST(DeviceTool, FitCheckAndScreenshots) {
    device_sandbox dev;
    temp_dir dir;
    // Cut at the side, a second line in a soft key, and proposed names over the name's limit.
    write_utf16(dir / "de.lng", u"[APN] [Zugangspunkt (APN)]\r\n[Exit] [Be\u2028enden]\r\n[Connection] [Mobilfunkdatenverbindung]\r\n",
                bom::with);
    auto r = tool("fit --language " + shell_quote((dir / "de.lng").string()));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "command_exit \"Be\\u2028enden\": 24 px high in a 20 px high box (portrait, 240x320, 96 dpi)\n"
                     "default_connection_name: the proposed connection names run to \"Mobilfunkdatenverbindung 99\" (27 "
                     "characters), over the 20 a name may have, so Create refuses them\n"
                     "label_apn \"Zugangspunkt (APN)\": 99 px in a 93 px box (landscape, 240x320, 96 dpi)\n"
                     "command_exit \"Be\\u2028enden\": 24 px high in a 20 px high box (landscape, 240x320, 96 dpi)\n");
    // Where the screen itself cuts: a square screen's right edge, a small one's soft-key bar.
    r = tool("fit --screen 240x240");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("label_password \"Password\": 46 px in a 31 px box (portrait, 240x240, 96 dpi)"), std::string::npos) << r.out;
    r = tool("fit --screen 120x160");
    EXPECT_NE(r.out.find("label_apn \"APN\": not shown: its box lies under a bar or off the screen (portrait"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("app_title \"Orvane Connection Manager\": 138 px in a 81 px box (portrait"), std::string::npos) << r.out;
    write_utf16(dir / "fits.lng", u"[APN] [Zugang (APN)]\r\n[Exit] [Beenden]\r\n", bom::with);
    r = tool("fit --language " + shell_quote((dir / "fits.lng").string()));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    // An operator's name too long for its box is named by its place in the file, at VGA too.
    write_utf16(dir / "ops.xml",
                u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<root>\r\n<operators>\r\n"
                u"<operator Name=\"Short\" User=\"\" Pwd=\"\" Apn=\"a\" Phone=\"*99#\"/>\r\n"
                u"<operator Name=\"A Telecom Operator Whose Name Goes On And On\" User=\"\" Pwd=\"\" Apn=\"b\" Phone=\"*99#\"/>\r\n"
                u"</operators>\r\n</root>\r\n",
                bom::with);
    r = tool("fit --screen 480x640 --dpi 192 --operators " + shell_quote((dir / "ops.xml").string()));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("operator 2 \"A Telecom Operator Whose Name Goes On And On\": "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(portrait, 480x640, 192 dpi)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Short"), std::string::npos) << r.out;

    for (const auto &[args, size] : {std::pair{std::string(), std::pair{240, 320}}, std::pair{std::string(" --landscape"), std::pair{320, 240}},
                                     std::pair{std::string(" --screen 480x640 --dpi 192"), std::pair{480, 640}}}) {
        r = tool("screenshot --force --output " + shell_quote((dir / "shot.png").string()) + args);
        EXPECT_EQ(r.status, 0) << args << r.err;
        EXPECT_EQ(png_size(dir / "shot.png"), size) << args;
    }
    // A handheld made landscape in device.toml is shot as it stands, as its window opens.
    dev.write_profile("[screen]\nwidth = 320\nheight = 240\n");
    r = tool("screenshot --force --output " + shell_quote((dir / "wide.png").string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(png_size(dir / "wide.png"), (std::pair{320, 240}));
    dev.write_profile("");
    // An existing file needs --force, and a file read is never written over; a name at the
    // file system's limit is written.
    r = tool("screenshot --output " + shell_quote((dir / "shot.png").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(png_size(dir / "shot.png"), (std::pair{480, 640}));
    write_utf16(dir / "de.lng", u"[Create] [Anlegen]\r\n", bom::with);
    const std::string before = read_bytes(dir / "de.lng");
    r = tool("screenshot --force --language " + shell_quote((dir / "de.lng").string()) + " --output " +
             shell_quote((dir / "." / "de.lng").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--language"), std::string::npos) << r.err;
    EXPECT_EQ(read_bytes(dir / "de.lng"), before);
    const std::string longest = std::string(251, 'x') + ".png";
    r = tool("screenshot --output " + shell_quote((dir / longest).string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(png_size(dir / longest), (std::pair{240, 320}));
    // A file the program cannot read is named as such, never checked as if it fitted.
    write_bytes(dir / "utf8.lng", "[Create] [Anlegen]\r\n");
    write_bytes(dir / "be.xml", utf16be(u"<root/>"));
    for (const std::string &given : {"--language " + shell_quote((dir / "utf8.lng").string()),
                                     "--operators " + shell_quote((dir / "be.xml").string())}) {
        for (const char *command : {"fit ", "screenshot --output - "}) {
            r = tool(command + given);
            EXPECT_EQ(r.status, 1) << command << given;
            EXPECT_NE(r.err.find("the program reads UTF-16LE only"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    // The sizes the message names, at each end and one past it; a usage error is status 2.
    for (const auto &[size, usable] : {std::pair{"119x320", false}, std::pair{"120x4096", true}, std::pair{"4096x120", true},
                                       std::pair{"4097x320", false}, std::pair{"240x4097", false}, std::pair{"240x119", false},
                                       std::pair{"240x", false}, std::pair{"x320", false}, std::pair{"02400x320", false}}) {
        r = tool(std::string("fit --screen ") + size);
        EXPECT_EQ(r.status != 2, usable) << size << r.err;
        if (!usable) {
            EXPECT_NE(r.err.find("120 to 4096 each, as 240x320"), std::string::npos) << r.err;
        }
    }
}
