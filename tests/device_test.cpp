#include "device/device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <toml++/toml.h>

#include "support/test_support.h"
#include "telephony/mm_module.h"

using namespace orvane_test;
using namespace orvane_platform;

TEST(DeviceFolder, ComesFromTheEnvironmentAndIsPrivate) {
    device_sandbox dev;
    EXPECT_EQ(device_folder_path(), dev.folder());
    mode_t old = umask(0);
    auto made = ensure_device_folder();
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    unsetenv("ORVANE_DEVICE");
    // Every folder made on the way is private too, whatever the umask.
    temp_dir xdg;
    setenv("XDG_DATA_HOME", (xdg / "data").c_str(), 1);
    old = umask(0);
    made = ensure_device_folder();
    umask(old);
    for (auto p = made; p != xdg.path(); p = p.parent_path()) {
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    // A folder of the user's own that others may use is tightened, and the tool says so.
    chmod(made.c_str(), 0777);
    take_device_notices();
    ensure_device_folder();
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    auto notices = take_device_notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("0777"), std::string::npos) << notices[0];
    setenv("XDG_DATA_HOME", "/xdg", 1);
    EXPECT_EQ(device_folder_path(), std::filesystem::path("/xdg/orvane/device"));
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(device_folder_path(), std::filesystem::path("/home/someone/.local/share/orvane/device"));
    // A relative XDG_DATA_HOME is passed over; a changed HOME changes the folder at once.
    setenv("XDG_DATA_HOME", "data", 1);
    setenv("HOME", "/home/other/", 1);
    EXPECT_EQ(device_folder_path().native(), "/home/other/.local/share/orvane/device");
    unsetenv("XDG_DATA_HOME");
    // Without HOME, the home of the user's own account; never a shared folder such as /tmp.
    unsetenv("HOME");
    const passwd *me = getpwuid(geteuid());
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(device_folder_path(), std::filesystem::path(me->pw_dir) / ".local/share/orvane/device");
}

TEST(DeviceProfile, BuiltInWithoutAFile) {
    device_sandbox dev;
    device_profile p = load_device_profile();
    ASSERT_TRUE(p.valid);
    ASSERT_EQ(p.modems.size(), 3u);
    EXPECT_EQ(p.modems[0].name, u"Cellular Line");
    EXPECT_EQ(p.modems[0].provider, u"Cellular TSP");
    EXPECT_EQ(p.modems[1].name, u"Hayes Compatible on COM1:");
    EXPECT_EQ(p.modems[1].type, 1);
    EXPECT_EQ(p.modems[2].type, 6);
    EXPECT_TRUE(p.faults.empty());
}

TEST(DeviceProfile, ReadsModemsAndFaults) {
    auto p = parse_device_profile(
        "[[modem]]\nname = \"A\"\nprovider = \"X\"\ntype = 2\nbaud_rate = 9600\ndial_modifier = \"M\"\n"
        "[[modem]]\nname = \"B\"\n[faults]\nfail = [\"lineOpen\"]\n",
        "device.toml");
    ASSERT_TRUE(p.valid) << p.error;
    ASSERT_EQ(p.modems.size(), 2u);
    EXPECT_EQ(p.modems[0].baud_rate, 9600u);
    EXPECT_EQ(p.modems[0].dial_modifier, u"M");
    EXPECT_EQ(p.modems[1].provider, u"UNIMODEM");
    EXPECT_EQ(p.faults.count("lineOpen"), 1u);
    EXPECT_FALSE(p.modems[0].sim.present);  // none unless given
    // A simulated SIM, and a key of it nothing reads, named with its place.
    p = parse_device_profile("[[modem]]\nsim = { operator = \"001010\", name = \"N\", iccid = \"8901234567\", nmae = \"x\" }\n", "d");
    ASSERT_TRUE(p.valid) << p.error;
    EXPECT_TRUE(p.modems[0].sim.present);
    EXPECT_EQ(p.modems[0].sim.operator_id, "001010");
    EXPECT_EQ(p.modems[0].sim.provider_name, u"N");
    EXPECT_EQ(p.modems[0].sim.iccid, "8901234567");  // every digit
    ASSERT_EQ(p.warnings.size(), 1u);
    EXPECT_NE(p.warnings[0].find("line 2, column 64: the SIM key \"nmae\" is not one this handheld reads"), std::string::npos)
        << p.warnings[0];
    EXPECT_TRUE(parse_device_profile("[faults]\nfail = []\n", "d").modems.size() == 3);
    EXPECT_TRUE(parse_device_profile("modem = []\n", "d").modems.empty());
    // The pixel display's screen: what is given, the defaults for the rest.
    p = parse_device_profile("[screen]\nwidth = 480\nheight = 640\ndpi = 192\n", "d");
    ASSERT_TRUE(p.valid) << p.error;
    EXPECT_EQ(p.screen.width, 480);
    EXPECT_EQ(p.screen.height, 640);
    EXPECT_EQ(p.screen.dpi, 192);
    EXPECT_EQ(p.screen.zoom, 0);  // not given: as large as fits the desktop
    EXPECT_EQ(parse_device_profile("", "d").screen.width, 240);
    EXPECT_FALSE(parse_device_profile("", "d").modemmanager);
    EXPECT_FALSE(parse_device_profile("[telephony]\nsource = \"profile\"\n", "d").modemmanager);
    EXPECT_TRUE(parse_device_profile("[telephony]\nsource = \"modemmanager\"\n", "d").modemmanager);
    EXPECT_FALSE(parse_device_profile("[store]\n", "d").networkmanager);
    EXPECT_TRUE(parse_device_profile("[store]\nnetworkmanager = true\n", "d").networkmanager);
    // A bad screen value is named and costs only itself: the modems and the rest are kept.
    p = parse_device_profile("[[modem]]\nname = \"M\"\n[screen]\nzoom = 100\nwidth = \"wide\"\nheight = 480\n", "d");
    ASSERT_TRUE(p.valid) << p.error;
    ASSERT_EQ(p.modems.size(), 1u);
    EXPECT_EQ(p.screen.height, 480);
    EXPECT_EQ(p.screen.width, 240);
    ASSERT_EQ(p.warnings.size(), 2u);
    EXPECT_NE(p.warnings[0].find("line 5"), std::string::npos) << p.warnings[0];
    EXPECT_NE(p.warnings[0].find("the screen keeps width 240"), std::string::npos) << p.warnings[0];
    EXPECT_NE(p.warnings[1].find("\"zoom\" must be between 1 and 8; the screen keeps zoom as it fits the desktop"),
              std::string::npos) << p.warnings[1];
}

TEST(DeviceProfile, MalformedOrWrongTypesSayWhereAndNeverThrow) {
    struct bad {
        const char *text;
        const char *where;
    };
    for (const bad &b : {bad{"[[modem]\nname = 1", "line 1"}, bad{"[[modem]]\nname = 5\n", "line 2, column 8"},
                         bad{"[[modem]]\nbaud_rate = \"fast\"\n", "line 2"},
                         bad{"[[modem]]\ntype = 70000\n", "line 2"}, bad{"modem = 3\n", "line 1"},
                         bad{"[faults]\nfail = \"lineOpen\"\n", "line 2"},
                         bad{"[faults]\nfail = [1]\n", "line 2"}, bad{"\xFF\xFE", "line 1"},
                         bad{"screen = 3\n", "line 1"}, bad{"[telephony]\nsource = \"udev\"\n", "line 2"},
                         bad{"[store]\nnetworkmanager = \"yes\"\n", "line 2, column 18"}, bad{"store = 1\n", "line 1"},
                         bad{"[[modem]]\nsim = 3\n", "line 2"}, bad{"[[modem]]\nsim = { operator = \"0010\" }\n", "line 2, column 20"},
                         bad{"[[modem]]\nsim = { operator = \"00101a\" }\n", "line 2"}, bad{"[[modem]]\nsim = { name = \"X\" }\n", "line 2"},
                         bad{"[[modem]]\nsim = { operator = \"00101\", iccid = \"89F\" }\n", "line 2"},
                         bad{"[[modem]]\nsim = { operator = \"00101\", name = \"Seventeen letters\" }\n", "line 2"}}) {
        device_profile p;
        EXPECT_NO_THROW(p = parse_device_profile(b.text, "device.toml"));
        EXPECT_FALSE(p.valid) << b.text;
        EXPECT_NE(p.error.find(b.where), std::string::npos) << p.error;
        EXPECT_NE(p.error.find("device.toml"), std::string::npos);
        EXPECT_TRUE(p.modems.empty());
    }
}

TEST(DeviceProfile, EveryLimitHoldsAtItsEndsAndFailsOnePast) {
    struct limit {
        const char *table;
        const char *key;
        long long lo, hi;
    };
    for (const limit &l : {limit{"[screen]", "width", 120, 4096}, limit{"[screen]", "height", 120, 4096},
                           limit{"[screen]", "dpi", 48, 480}, limit{"[screen]", "zoom", 1, 8},
                           limit{"[[modem]]", "type", 0, 0xFFFF}, limit{"[[modem]]", "baud_rate", 1, 0x7FFFFFFF}}) {
        for (long long v : {l.lo - 1, l.lo, l.hi, l.hi + 1}) {
            std::string text = std::string(l.table) + "\n" + l.key + " = " + std::to_string(v) + "\n";
            device_profile p = parse_device_profile(text, "d");
            bool in = v >= l.lo && v <= l.hi;
            // A screen value out of range is a warning; a modem's makes the profile unusable.
            bool screen = std::string(l.table) == "[screen]";
            EXPECT_EQ(p.valid, in || screen) << text << p.error;
            std::string said = p.valid ? (p.warnings.empty() ? std::string() : p.warnings[0]) : p.error;
            EXPECT_EQ(said.find("between " + std::to_string(l.lo) + " and " + std::to_string(l.hi)) != std::string::npos, !in)
                << text << said;
        }
    }
    // Texts count characters, not bytes: 1024 two-byte letters are a name, 1025 are not.
    std::string e1024;
    for (int i = 0; i < 1024; ++i) e1024 += "\xC3\xA9";
    EXPECT_TRUE(parse_device_profile("[[modem]]\nname = \"" + e1024 + "\"\n", "d").valid);
    EXPECT_FALSE(parse_device_profile("[[modem]]\nname = \"" + e1024 + "\xC3\xA9\"\n", "d").valid);
    for (std::size_t n : {255u, 256u}) {
        std::string modifier = "[[modem]]\ndial_modifier = \"" + std::string(n, 'x') + "\"\n";
        EXPECT_EQ(parse_device_profile(modifier, "d").valid, n == 255) << n;
    }
    // A key nothing reads is named with its line, and the rest is used.
    device_profile p = parse_device_profile("[screen]\nwidth = 320\ncolour = 1\n", "d");
    ASSERT_TRUE(p.valid) << p.error;
    EXPECT_EQ(p.screen.width, 320);
    ASSERT_EQ(p.warnings.size(), 1u);
    EXPECT_NE(p.warnings[0].find("colour"), std::string::npos) << p.warnings[0];
    EXPECT_NE(p.warnings[0].find("line 3"), std::string::npos) << p.warnings[0];
}

TEST(DeviceProfile, FileOutcomes) {
    device_sandbox dev;
    // No folder yet: it is made, and the built-in profile serves.
    ASSERT_FALSE(std::filesystem::exists(dev.folder()));
    device_profile first = load_device_profile();
    EXPECT_TRUE(first.valid);
    EXPECT_EQ(first.modems.size(), 3u);
    EXPECT_TRUE(std::filesystem::is_directory(dev.folder()));
    // A rewrite of the same length between two calls is seen by the second.
    dev.write_profile("[[modem]]\nname = \"Modem A\"\n");
    EXPECT_EQ(load_device_profile().modems.at(0).name, u"Modem A");
    dev.write_profile("[[modem]]\nname = \"Modem B\"\n");
    EXPECT_EQ(load_device_profile().modems.at(0).name, u"Modem B");
    // An empty file is a profile without modems or faults of its own: the built-in modems.
    dev.write_profile("");
    EXPECT_EQ(load_device_profile().modems.size(), 3u);
    // 1 MiB is read; a byte more is unusable, and the message says why.
    dev.write_profile("# " + std::string(1024 * 1024 - 3, 'x') + "\n");
    EXPECT_TRUE(load_device_profile().valid) << load_device_profile().error;
    dev.write_profile("# " + std::string(1024 * 1024 - 2, 'x') + "\n");
    device_profile big = load_device_profile();
    EXPECT_FALSE(big.valid);
    EXPECT_NE(big.error.find("larger than 1 MB"), std::string::npos) << big.error;
    dev.write_profile("");
    dev.fail("[\"lineOpen\"]");
    EXPECT_TRUE(fault_requested("lineOpen"));
    EXPECT_FALSE(fault_requested("lineClose"));
}

TEST(DeviceProfile, AFolderThatCannotBeMadeIsUnusableAndSaysWhy) {
    temp_dir dir;
    write_bytes(dir.path() / "file", "x");
    setenv("ORVANE_DEVICE", (dir.path() / "file" / "device").c_str(), 1);
    device_profile p = load_device_profile();
    unsetenv("ORVANE_DEVICE");
    EXPECT_FALSE(p.valid);
    EXPECT_NE(p.error.find((dir.path() / "file").string()), std::string::npos) << p.error;
}

TEST(DeviceIdentity, MadeOnceKeptAndDifferentOnEachHandheld) {
    std::string first;
    {
        device_sandbox dev;
        first = device_identity();
        EXPECT_EQ(first.size(), 32u);
        EXPECT_EQ(device_identity(), first);
        EXPECT_EQ(std::filesystem::status(dev.folder() / "identity").permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        std::ofstream(dev.folder() / "identity") << "not one of ours\n";
        EXPECT_THROW(device_identity(), std::runtime_error);
    }
    device_sandbox other;
    EXPECT_NE(device_identity(), first);
}

// Twenty programs started at once on a new handheld: each gets the one identity, none fails.
TEST(DeviceIdentity, TwentyProcessesAtFirstUseAllGetTheOne) {
    for (int round = 0; round < 5; ++round) {
        device_sandbox dev;
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        std::vector<std::pair<pid_t, int>> children;
        for (int i = 0; i < 20; ++i) {
            int out[2];
            ASSERT_EQ(pipe(out), 0);
            pid_t pid = fork();
            if (pid == 0) {
                close(start[1]);
                char go = 0;
                if (read(start[0], &go, 1) < 0) _exit(3);  // all of them let go at once
                try {
                    std::string id = device_identity();
                    _exit(write(out[1], id.data(), id.size()) == static_cast<ssize_t>(id.size()) ? 0 : 2);
                } catch (const std::exception &) {
                    _exit(1);
                }
            }
            close(out[1]);
            children.emplace_back(pid, out[0]);
        }
        close(start[0]);
        close(start[1]);
        std::set<std::string> seen;
        for (auto [pid, fd] : children) {
            int status = -1;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": " << status;
            char id[40] = {};
            EXPECT_EQ(read(fd, id, sizeof id), 32);
            close(fd);
            seen.insert(id);
        }
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen, std::set<std::string>{device_identity()});
    }
}

TEST(SystemModems, EachKeepsItsBlockByItsEquipmentIdentifier) {
    device_sandbox dev;
    const std::string file = (ensure_device_folder() / "modems.toml").string();
    std::vector<system_modem> modems = {{"SIM-1", "ttyUSB0", "490154203237518", "dev-a", {}, {}, {}},
                                        {"Odd\nmodel", "ttyACM0", "id \"with\" quotes", "dev-b", {}, {}, {}},
                                        {"Anonymous", "ttyUSB3", "", "dev-c", {}, {}, {}}};
    std::vector<std::string> warnings;
    auto first = system_modem_profiles(modems, file, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].name, u"SIM-1 on ttyUSB0:");
    EXPECT_EQ(first[0].port, "/dev/ttyUSB0");
    EXPECT_EQ(first[0].manager_id, "dev-a");
    EXPECT_EQ(first[1].baud_rate, 115200u);
    EXPECT_EQ(first[1].dial_modifier, u"");
    const std::string made = read_bytes(file);
    // The two that have an identity are kept; the model's line break cannot start a line.
    EXPECT_NE(made.find("\n# Odd model on ttyACM0\n"), std::string::npos) << made;
    EXPECT_EQ(made.find("ttyUSB3"), std::string::npos) << made;
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Made private again when others may read it, as the store is.
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    system_modem_profiles(modems, file, warnings);
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Seen again, nothing is added; what the user set there is each modem's block.
    warnings.clear();
    system_modem_profiles(modems, file, warnings);
    EXPECT_EQ(read_bytes(file), made);
    std::string edited = made;
    edited.replace(edited.find("baud_rate = 115200"), 18, "baud_rate = 57600");
    auto second_block = edited.find("dial_modifier = ''", edited.find("ttyACM0"));
    edited.replace(second_block, 18, "dial_modifier = '+CGDCONT=1,\"IP\",\"kept.apn\"'");
    write_bytes(file, edited);
    auto kept = system_modem_profiles(modems, file, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(kept[0].baud_rate, 57600u);
    EXPECT_EQ(kept[0].dial_modifier, u"");
    EXPECT_EQ(kept[1].baud_rate, 115200u);
    EXPECT_EQ(kept[1].dial_modifier, u"+CGDCONT=1,\"IP\",\"kept.apn\"");

    // A new modem is added after what is there, which stays as the user wrote it.
    modems.push_back({"SIM-2", "ttyUSB1", "2", "dev-d", {}, {}, {}});
    system_modem_profiles(modems, file, warnings);
    const std::string grown = read_bytes(file);
    EXPECT_EQ(grown.compare(0, edited.size(), edited), 0);
    EXPECT_NE(grown.find("# SIM-2 on ttyUSB1\n[modem.2]\nbaud_rate = 115200\n"), std::string::npos) << grown;
}

TEST(SystemModems, WhatCannotBeUsedIsAWarningAndTheDefaults) {
    device_sandbox dev;
    const std::string file = (ensure_device_folder() / "modems.toml").string();
    std::vector<system_modem> modems = {{"SIM-1", "ttyUSB0", "1", "", {}, {}, {}}, {"SIM-2", "ttyUSB1", "2", "", {}, {}, {}}};
    auto one = [&](const std::string &text, std::vector<std::string> &warnings) {
        write_bytes(file, text);
        warnings.clear();
        return system_modem_profiles(modems, file, warnings);
    };
    std::vector<std::string> warnings;
    // A bad value costs that value of that modem only.
    auto got = one("[modem.1]\nbaud_rate = 12345\ndial_modifier = 'X'\n[modem.2]\nbaud_rate = 9600\n"
                   "dial_modifier = '" + std::string(256, 'a') + "'\n", warnings);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("line 2, column 13: \"baud_rate\" is not a speed the modem provider knows; the modem "
                               "keeps 115200 bit/s"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("at most 255 characters; the modem keeps no dial modifier"), std::string::npos);
    EXPECT_EQ(got[0].baud_rate, 115200u);
    EXPECT_EQ(got[0].dial_modifier, u"X");
    EXPECT_EQ(got[1].baud_rate, 9600u);
    EXPECT_EQ(got[1].dial_modifier, u"");
    one("[modem.1]\nbaud_rate = 'fast'\ndial_modifier = 7\n", warnings);
    EXPECT_EQ(warnings.size(), 2u);

    // A file that is not TOML is left as it is: nothing added to it, every modem at the defaults.
    got = one("[modem.1\nbaud_rate = 9600\n", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(file + ": line 1"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("the modems keep 115200 bit/s and no dial modifier"), std::string::npos);
    EXPECT_EQ(read_bytes(file), "[modem.1\nbaud_rate = 9600\n");
    EXPECT_EQ(got[0].baud_rate, 115200u);

    // Up to 1 MB is read; a larger file is left alone.
    std::string padding = "[modem.1]\nbaud_rate = 9600\n#";
    padding.resize(1024 * 1024 - 1, 'x');
    got = one(padding + "\n", warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(got[0].baud_rate, 9600u);
    got = one(padding + "x\n", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("larger than 1 MB"), std::string::npos) << warnings[0];
    EXPECT_EQ(got[0].baud_rate, 115200u);
    EXPECT_EQ(read_bytes(file).size(), 1024u * 1024 + 1);

    // A file that cannot be made.
    warnings.clear();
    got = system_modem_profiles(modems, file + ".d/modems.toml", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("cannot be opened: No such file or directory"), std::string::npos) << warnings[0];
    EXPECT_EQ(got.size(), 2u);

    // A FIFO in its place holds nobody up.
    std::filesystem::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    warnings.clear();
    got = system_modem_profiles(modems, file, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("not a regular file"), std::string::npos);
    EXPECT_EQ(got.size(), 2u);
}

// The file as users leave it: edited by hand, misspelt, locked by a program that hangs. No run
// makes it invalid, none waits for ever, and each says what it passed over.
TEST(SystemModems, AFileTheUserEditedOrLockedNeverBreaksOrHangs) {
    device_sandbox dev;
    const std::string file = (ensure_device_folder() / "modems.toml").string();
    std::vector<system_modem> modems = {{"SIM-1", "ttyUSB0", "490154203237518", "", {}, {}, {}}, {"SIM-2", "ttyUSB1", "2", "", {}, {}, {}}};
    std::vector<std::string> warnings;
    auto run = [&](const std::string &text) {
        write_bytes(file, text);
        warnings.clear();
        auto got = system_modem_profiles(modems, file, warnings);
        (void)toml::parse(read_bytes(file), file);  // throws, and fails the test, when a run broke it
        return got;
    };
    // The identifier written as a key of [modem], not a table: that modem is left alone; the
    // other is added under the same [modem] where that still parses.
    auto got = run("[modem]\n490154203237518 = \"fast\"\n");
    ASSERT_FALSE(warnings.empty());
    EXPECT_NE(warnings[0].find("modem.490154203237518 is not a table"), std::string::npos) << warnings[0];
    EXPECT_EQ(got[0].baud_rate, 115200u);
    EXPECT_EQ(run(read_bytes(file))[0].baud_rate, 115200u);  // and the next run too
    // [modem] that is no table at all: nothing can be added beside it.
    run("modem = 5\n");
    EXPECT_EQ(read_bytes(file), "modem = 5\n");
    EXPECT_NE(warnings.back().find("it is left as it is"), std::string::npos) << warnings.back();
    // Misspelt keys are named, where they are.
    got = run("[modem.2]\nbaudrate = 9600\n[modem.490154203237518]\n[modems]\n");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find(file + ": line 4, column 2: the table or key \"modems\""), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("line 2, column 1: the modem key \"baudrate\" is not one this handheld reads"),
              std::string::npos) << warnings[1];
    EXPECT_EQ(got[1].baud_rate, 115200u);

    // The device folder is checked and made private here too, as in every other use.
    ASSERT_EQ(chmod(ensure_device_folder().c_str(), 0755), 0);
    run("");
    struct stat st {};
    ASSERT_EQ(stat(device_folder_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Two modems with one identifier: one block, which both use, and a warning.
    modems = {{"SIM-1", "ttyUSB0", "7", "", {}, {}, {}}, {"SIM-1", "ttyUSB4", "7", "", {}, {}, {}}};
    got = run("[modem.9]\n");
    const std::string once = read_bytes(file);
    EXPECT_EQ(once.find("[modem.7]"), once.rfind("[modem.7]")) << once;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("two modems give the equipment identifier 7"), std::string::npos) << warnings[0];
    write_bytes(file, once + "\n");
    std::string edited = read_bytes(file);
    edited.replace(edited.find("baud_rate = 115200"), 18, "baud_rate = 57600");
    got = run(edited);
    EXPECT_EQ(got[0].baud_rate, 57600u);
    EXPECT_EQ(got[1].baud_rate, 57600u);

    // Held by another process: the defaults within two seconds, and a warning that says so.
    int fd = open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    pid_t holder = fork();
    if (holder == 0) {
        flock(fd, LOCK_EX);
        pause();
        _exit(0);
    }
    usleep(100 * 1000);
    warnings.clear();
    auto start = std::chrono::steady_clock::now();
    got = system_modem_profiles(modems, file, warnings);
    auto waited = std::chrono::steady_clock::now() - start;
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(fd);
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("locked by another program"), std::string::npos) << warnings[0];
    EXPECT_EQ(got[0].baud_rate, 115200u);
}
