// The data-file tools, run as a program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include <algorithm>
#include <fstream>
#include <pugixml.hpp>
#include <set>

#include "presets/operator_presets.h"
#include "presets/xml_reader.h"
#include "common/utf.h"
#include "config/connection_store.h"
#include "support/test_support.h"

using namespace orvane_test;

namespace {

const char *database = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml";

command_result data_tool(const std::string &args) { return run_command(shell_quote(ORVANE_DATA_TOOL) + " " + args); }

orvane_cr::operator_presets read_back(const std::filesystem::path &p) {
    orvane_cr::xml_reader r;
    orvane_cr::operator_presets out;
    if (r.open(wide(p).c_str())) orvane_cr::read_operator_presets(r, out);
    return out;
}

using key = std::tuple<std::string, std::string, std::string>;  // apn, user, password

std::multiset<key> expected_from_database(const std::set<std::string> &countries) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(database));
    std::multiset<key> out;
    for (auto country : doc.child("serviceproviders").children("country")) {
        if (countries.count(country.attribute("code").value()) == 0) continue;
        for (auto provider : country.children("provider")) {
            for (auto apn : provider.child("gsm").children("apn")) {
                auto usage = apn.child("usage");
                if (usage && std::string(usage.attribute("type").value()) != "internet") continue;
                out.insert({apn.attribute("value").value(), apn.child("username").text().get(),
                            apn.child("password").text().get()});
            }
        }
    }
    return out;
}

int count_of(const std::string &s, const std::string &what) {
    int n = 0;
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(DataImport, ReadsBackAsTheDatabaseHoldsIt) {
    temp_dir dir;
    auto out = dir / "ops.xml";
    auto r = data_tool("import --country de --country FR --output " + shell_quote(out.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    auto presets = read_back(out);
    std::multiset<key> got;
    for (const auto &p : presets) {
        got.insert({u8(p.apn), u8(p.user), u8(p.password)});
        EXPECT_EQ(p.phone, u"*99***1#");
        EXPECT_FALSE(p.name.empty());
    }
    auto expected = expected_from_database({"de", "fr"});
    EXPECT_EQ(got.size() + static_cast<std::size_t>(count_of(r.err, "left out")), expected.size());
    for (const auto &k : got) EXPECT_EQ(expected.count(k) >= got.count(k), true) << std::get<0>(k);
    // Sorted by country, then name; names with "&" survive the round trip.
    std::string bytes = read_bytes(out);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    bool has_amp = std::any_of(presets.begin(), presets.end(), [](const auto &p) { return p.name.find(u'&') != std::u16string::npos; });
    EXPECT_TRUE(has_amp);  // "1&1" is a German provider
    auto de = dir / "de.xml";
    ASSERT_EQ(data_tool("import --country de --output " + shell_quote(de.string())).status, 0);
    auto de_presets = read_back(de);
    // Sorted by name without regard to case.
    EXPECT_TRUE(std::is_sorted(de_presets.begin(), de_presets.end(), [](const auto &a, const auto &b) {
        return orvane_platform::fold_entry_name(u8(a.name)) < orvane_platform::fold_entry_name(u8(b.name));
    }));
    EXPECT_EQ(de_presets.size() + static_cast<std::size_t>(count_of(r.err, "left out de")),
              expected_from_database({"de"}).size());
}

// The 255 limit on an operator's start tag counts what the program's reader counts, UTF-16 units:
// a name of letters beyond ASCII that fits is kept, whatever its bytes, and one unit more is not.
TEST(DataImport, TheTagLimitCountsTheReadersUnits) {
    temp_dir dir;
    // The tag around a name of N units, with the APN "l.apn": 60 + N units.
    struct letter {
        const char *utf8;
        int units;
    };
    std::string providers;
    std::vector<std::u16string> kept;
    for (letter l : {letter{"L", 1}, letter{"\xC3\xA9", 1}, letter{"\xE2\x82\xAC", 1}, letter{"\xF0\x9F\x98\x80", 2}}) {
        for (int units : {195, 196}) {
            std::string name;
            std::u16string name16;
            for (int u = 0; u + l.units <= units; u += l.units) name += l.utf8;
            if (units % l.units != 0) name += "L";
            name16 = orvane_platform::from_utf8(name);
            ASSERT_EQ(static_cast<int>(name16.size()), units);
            providers += "<provider><name>" + name + "</name><gsm><apn value=\"l.apn\"/></gsm></provider>";
            if (units == 195) kept.push_back(name16);
        }
    }
    write_bytes(dir / "db.xml", "<?xml version=\"1.0\"?><serviceproviders><country code=\"xx\">" + providers +
                                    "</country></serviceproviders>");
    auto out = dir / "ops.xml";
    auto r = data_tool("import --output " + shell_quote(out.string()) + " " + shell_quote((dir / "db.xml").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, "a tag longer than 255 characters"), 4) << r.err;
    std::vector<std::u16string> names;
    for (const auto &p : read_back(out)) names.emplace_back(p.name);
    std::sort(names.begin(), names.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(names, kept);
}

// Each provider's networks and primary mark reach its operators, as many networks as the tag
// holds (the rest counted); the check then notes the network the virtual operator shares with
// its host, and refuses an identifier no SIM can have.
TEST(DataImport, NetworksAndThePrimaryMarkAsTheTagAllows) {
    temp_dir dir;
    std::string many;
    for (int mnc = 10; mnc < 40; ++mnc) many += "<network-id mcc=\"002\" mnc=\"" + std::to_string(mnc) + "\"/>";
    write_bytes(dir / "db.xml",
                "<serviceproviders><country code=\"xx\">"
                "<provider primary=\"true\"><name>Host</name><gsm><network-id mcc=\"001\" mnc=\"01\"/>"
                "<network-id mcc=\"001\" mnc=\"010\"/><network-id mcc=\"0x1\" mnc=\"01\"/><network-id mcc=\"001\" mnc=\"1\"/>"
                "<network-id mcc=\"001\" mnc=\"0101\"/><network-id mcc=\"0011\" mnc=\"01\"/>"
                "<apn value=\"host.apn\"/></gsm></provider>"
                "<provider><name>Virtual</name><gsm><network-id mcc=\"001\" mnc=\"01\"/><apn value=\"v.apn\"/></gsm></provider>"
                "<provider><name>Many</name><gsm>" + many + "<apn value=\"many.apn\"/></gsm></provider>"
                "</country></serviceproviders>");
    auto r = data_tool("import " + shell_quote((dir / "db.xml").string()) + " --output " + shell_quote((dir / "o.xml").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"Host\": left out 4 network identifier(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"Many\": kept 29 of its 30 network identifiers"), std::string::npos) << r.err;
    auto presets = read_back(dir / "o.xml");
    ASSERT_EQ(presets.size(), 3u);
    EXPECT_EQ(presets[0].networks, (std::vector<std::u16string>{u"00101", u"001010"}));
    EXPECT_TRUE(presets[0].primary);
    EXPECT_EQ(presets[1].networks.size(), 29u);
    EXPECT_EQ(presets[1].networks.back(), u"00238");
    EXPECT_FALSE(presets[1].primary);
    EXPECT_EQ(presets[2].networks, std::vector<std::u16string>{u"00101"});
    auto clean = data_tool("check " + shell_quote((dir / "o.xml").string()));
    EXPECT_EQ(clean.status, 0) << clean.out;  // a shared network is worth a note, not a fault
    EXPECT_NE(clean.out.find(":3: network 00101 is named by 2 operators: \"Host\" (line 3), \"Virtual\" (line 5)"),
              std::string::npos) << clean.out;
    write_utf16(dir / "bad.xml", u"<root>\r\n<operator Name=\"A\" Networks=\"0010 00101x 001010\"/>\r\n</root>", bom::with);
    auto bad = data_tool("check " + shell_quote((dir / "bad.xml").string()));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(count_of(bad.out, "is not 5 or 6 digits"), 2) << bad.out;
    EXPECT_NE(bad.out.find(":2: network \"0010\" is not 5 or 6 digits"), std::string::npos) << bad.out;
}

TEST(DataImport, LeavesOutWhatTheFormatCannotCarry) {
    temp_dir dir;
    std::string long_name(240, 'L');
    write_bytes(dir / "db.xml",
                "<?xml version=\"1.0\"?><serviceproviders><country code=\"xx\">"
                "<provider><name>Good &amp; Co</name><gsm><apn value=\"good.apn\"><usage type=\"internet\"/>"
                "<username>u</username></apn><apn value=\"mms.apn\"><usage type=\"mms\"/></apn></gsm></provider>"
                "<provider><name>Bad \"Quote\"</name><gsm><apn value=\"q.apn\"/></gsm></provider>"
                "<provider><name>Tab\tName</name><gsm><apn value=\"t.apn\"/></gsm></provider>"
                "<provider><name>" + long_name + "</name><gsm><apn value=\"l.apn\"/></gsm></provider>"
                "<provider><name>Two</name><gsm><apn value=\"a.apn\"><name>First</name></apn>"
                "<apn value=\"b.apn\"/></gsm></provider>"
                "<provider><name>Only CDMA</name><cdma/></provider>"
                "</country></serviceproviders>");
    auto out = dir / "ops.xml";
    auto r = data_tool("import --output " + shell_quote(out.string()) + " " + shell_quote((dir / "db.xml").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, "left out"), 3) << r.err;
    auto presets = read_back(out);
    std::vector<std::u16string> names;
    for (const auto &p : presets) names.emplace_back(p.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Good & Co", u"Two (b.apn)", u"Two (First)"}));
    EXPECT_EQ(presets[0].user, u"u");
    // A bad database is an error, and nothing is written.
    write_bytes(dir / "bad.xml", "<serviceproviders><country>");
    auto out2 = dir / "none.xml";
    r = data_tool("import --output " + shell_quote(out2.string()) + " " + shell_quote((dir / "bad.xml").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(out2));
    // A country with no operator is named; an existing output is replaced only with --force,
    // and never one that is not a regular file.
    std::string db = " " + shell_quote((dir / "db.xml").string());
    r = data_tool("import --country zz --output " + shell_quote(out2.string()) + db);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"zz\""), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out2));
    EXPECT_EQ(data_tool("import --output " + shell_quote(out.string()) + db).status, 1);
    EXPECT_EQ(data_tool("import --force --output " + shell_quote(out.string()) + db).status, 0);
    ASSERT_EQ(mkfifo((dir / "fifo.xml").c_str(), 0600), 0);
    r = data_tool("import --force --output " + shell_quote((dir / "fifo.xml").string()) + db);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.xml"));
    r = data_tool("import --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --frobnicate"), std::string::npos) << r.err;
    // A pipe in and out, as the device tool takes them: the database on standard input, the
    // operators file on standard output, which check reads from a pipe in turn.
    r = run_command("{ cd " + shell_quote(dir.path().string()) + " && " + shell_quote(ORVANE_DATA_TOOL) +
                    " import --output - - <" + db + " | " + shell_quote(ORVANE_DATA_TOOL) + " check -; }");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "-: the program reads 3 presets\n");
    EXPECT_NE(r.err.find("wrote 3 operators to standard output"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));
    // Standard output on a full disk: the error, and no word of having written.
    r = run_command("{ " + shell_quote(ORVANE_DATA_TOOL) + " import --output - - <" + db + " >/dev/full; }");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write to standard output"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("wrote"), std::string::npos) << r.err;
    r = run_command("head -c 70000000 /dev/zero | " + shell_quote(ORVANE_DATA_TOOL) + " check -");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("larger than 64 MiB"), std::string::npos) << r.err;
}

TEST(DataImport, NextToTheProgramOnlyReplacedWithForce) {
    temp_dir dir;
    auto tool = dir / "orvane-data";
    std::filesystem::copy_file(ORVANE_DATA_TOOL, tool);
    write_bytes(dir / "orvanecmgr.xml", "mine");
    auto r = run_command(shell_quote(tool.string()) + " import --country de");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--force"), std::string::npos);
    std::string kept = read_bytes(dir / "orvanecmgr.xml");
    EXPECT_EQ(kept, "mine");
    r = run_command(shell_quote(tool.string()) + " import --force --country de");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(read_back(dir / "orvanecmgr.xml").size(), 5u);
}

TEST(DataCheck, LanguageFileDiagnostics) {
    temp_dir dir;
    struct item {
        std::string name;
        std::string bytes;
        std::string says;
    };
    std::vector<item> items = {
        {"u8.lng", "[Create] [Anlegen]\r\n", "8-bit or UTF-8"},
        {"bom8.lng", "\xEF\xBB\xBF[Create] [Anlegen]\r\n", "UTF-8"},
        {"be.lng", utf16be(u"[Create] [Anlegen]\r\n"), "UTF-16BE"},
        {"odd.lng", utf16le(u"[Create] [Anlegen]\r\n", bom::with) + "x", "odd number of bytes"},
        {"stop.lng", utf16le(u"[Create] [A]\r\nnote\r\n[Exit] [B]\r\n", bom::with), "stop.lng:2: loading stops here"},
        {"blank.lng", utf16le(u"\r\n[Create] [A]\r\n"), "blank.lng:1: the file starts with an empty line"},
        {"unknown.lng", utf16le(u"[Create] [A]\r\n[Creat] [B]\r\n", bom::with), "unknown.lng:2: \"Creat\" matches none"},
        {"twice.lng", utf16le(u"[Exit] [A]\n\n[Exit] [B]\n", bom::with), "twice.lng:3: \"Exit\" given again (first on line 1)"},
        {"empty.lng", utf16le(u"[Exit] []\r\n", bom::with), "empty.lng:1: the translation of \"Exit\" is empty"},
        {"long.lng", utf16le(u"[Exit] [B]\r\n[Connection] [Datenverbindung123]\r\n", bom::with),
         "long.lng:2: the proposed connection names run to \"Datenverbindung123 99\" (21 characters)"},
    };
    for (const auto &i : items) {
        write_bytes(dir / i.name, i.bytes);
        auto r = data_tool("check " + shell_quote((dir / i.name).string()));
        EXPECT_EQ(r.status, 1) << i.name << "\n" << r.out;
        EXPECT_NE(r.out.find(i.says), std::string::npos) << i.name << ":\n" << r.out;
    }
    write_bytes(dir / "clean.lng", utf16le(u"[Create] [Anlegen]\r\n[Connection] [Datenverbindung12]", bom::with));
    auto r = data_tool("check " + shell_quote((dir / "clean.lng").string()) + " " + shell_quote(EXAMPLES_DIR "/orvanecmgr.lng"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("the program reads 2 translations"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": to see whether the translations fit the handheld's screen: orvane-device fit --language "),
              std::string::npos)
        << r.out;
}

TEST(DataCheck, OperatorsFileDiagnostics) {
    temp_dir dir;
    std::u16string long_tag = u"<op Name=\"x\" Apn=\"" + std::u16string(250, u'a') + u"\"/>";
    struct item {
        std::string name;
        std::u16string text;
        std::string says;
    };
    std::vector<item> items = {
        {"noroot.xml", u"<Root><op Name=\"A\"/></Root>", "noroot.xml:1: no \"<root>\""},
        {"group.xml", u"<root>\r\n<g>\r\n<op Name=\"A\"/>\r\n</g>\r\n<g>\r\n<op Name=\"B\"/>\r\n</g>\r\n</root>",
         "group.xml:4: this end tag ends the reading: 1 operator(s) after it"},
        {"case.xml", u"<root>\n<op Name=\"A\" apn=\"x\"/>\n</root>", "case.xml:2: attribute \"apn\" matches nothing the program reads; did you mean \"Apn\"?"},
        {"single.xml", u"<root>\n<op Name='A' Apn=\"x\"/>\n</root>", "case"},
        {"tab.xml", u"<root>\n<op Name=\"A\"\tApn=\"x\"/>\n</root>", "tab.xml:2: a tab or line break inside the tag"},
        {"long.xml", u"<root>\n" + long_tag + u"\n</root>", "long.xml:2: the tag is 268 characters long"},
        {"text.xml", u"<root>\n<op Name=\"A\"/>\n<op Name=\"B\">" + std::u16string(256, u't') + u"</op>\n</root>",
         "text.xml:3: the element's text is 256 characters long"},
        {"half.xml", u"<root>\n\n<op Name=\"A" + std::u16string(1, static_cast<char16_t>(0xD800)) + u"\"/>\n</root>",
         "half.xml:3: a lone surrogate"},
    };
    items[3].says = "single.xml:2: a single-quoted value";
    for (const auto &i : items) {
        write_bytes(dir / i.name, utf16le(i.text, bom::with));
        auto r = data_tool("check " + shell_quote((dir / i.name).string()));
        EXPECT_EQ(r.status, 1) << i.name << "\n" << r.out;
        EXPECT_NE(r.out.find(i.says), std::string::npos) << i.name << ":\n" << r.out;
    }
    write_bytes(dir / "u8.xml", "<root><op Name=\"A\"/></root>");
    EXPECT_EQ(data_tool("check " + shell_quote((dir / "u8.xml").string())).status, 1);
    auto r = data_tool("check " + shell_quote(EXAMPLES_DIR "/orvanecmgr.xml"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("the program reads 5 presets"), std::string::npos) << r.out;
    EXPECT_EQ(data_tool("check /nonexistent.xml").status, 1);
    EXPECT_EQ(data_tool("check " + shell_quote((dir / "u8.xml").string() + ".txt")).status, 2);
    // Linear in the file: eight times the operators take about eight times as long, not
    // sixty-four (the absolute time is the benchmark's figure check_10mb).
    auto check_time = [&](std::size_t units) {
        std::u16string big = u"<root>\r\n";
        while (big.size() < units) {
            big += u"<operator Name=\"Some Operator\" User=\"\" Pwd=\"\" Apn=\"internet\" Phone=\"*99#\"/>\r\n";
        }
        write_bytes(dir / "big.xml", utf16le(big + u"</root>\r\n", bom::with));
        auto start = std::chrono::steady_clock::now();
        auto result = data_tool("check " + shell_quote((dir / "big.xml").string()));
        EXPECT_EQ(result.status, 0) << result.out.substr(0, 500);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double small = check_time(600'000);
    double large = check_time(4'800'000);
    EXPECT_LT(large, 20 * small) << small << " s, then " << large << " s";
}
