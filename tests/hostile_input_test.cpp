// Hostile typing, data files and device profiles: a clear answer or the defaults, never a crash.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>

#include "config/connection_store.h"
#include "support/combo_probe.h"
#include "support/dialog_fixture.h"
#include "support/heap_counter.h"
#include "telephony/modem_config.h"

using namespace orvane_test;

namespace {

class HostileTest : public DialogTest {
protected:
    // Fills the fields as given, presses Create and returns the message shown.
    std::u16string create(const std::map<int, std::u16string> &fields) {
        for (const auto &[id, text] : fields) SetDlgItemText(w, id, text.c_str());
        auto &boxes = orvane_platform::windows().boxes_shown;
        boxes.clear();
        key_press(key::f1);
        return boxes.empty() ? u"<none>" : boxes.back().text;
    }
    std::map<std::string, std::string> stored(const std::string &name) {
        orvane_platform::connection_store s(orvane_platform::connection_store::mode::read);
        auto e = s.find(name);
        if (!e) return {};
        return {e->parms.begin(), e->parms.end()};
    }
    void SetUp() override {
        DialogTest::SetUp();
        w = open();
    }
    HWND w = nullptr;
};

}  // namespace


namespace {

}  // namespace

TEST_F(HostileTest, VeryLongFields) {
    std::u16string huge(5000, u'x');
    EXPECT_EQ(create({{1014, huge}}), u"Invalid connection name");
    EXPECT_EQ(create({{1014, u"Long"}, {1002, std::u16string(300, u'a')}}), u"Could not create connection");
    EXPECT_EQ(create({{1014, u"Long"}, {1002, u""}, {1008, huge}, {1012, huge}, {1009, huge}}),
              u"Connection created successfully");
    auto p = stored("Long");
    EXPECT_EQ(p["UserName"].size(), 5000u);
    EXPECT_EQ(p["Password"].size(), 5000u);
    EXPECT_EQ(p["Phone"].size(), 5000u);
}

TEST_F(HostileTest, NamesAtTheLimitAndControlCharacters) {
    EXPECT_EQ(create({{1014, std::u16string(21, u'n')}}), u"Invalid connection name");
    EXPECT_EQ(create({{1014, u"bad\x01name"}}), u"Invalid connection name");
    EXPECT_EQ(create({{1014, u"   "}}), u"Invalid connection name");
    // A control character XML has no room for is refused with the other failures, nothing stored.
    EXPECT_EQ(create({{1014, u"Ctl"}, {1012, u"pw\x01"}}), u"Could not create connection");
    EXPECT_FALSE(orvane_platform::connection_store(orvane_platform::connection_store::mode::write).contains("Ctl"));
    EXPECT_EQ(create({{1014, std::u16string(20, u'n')}, {1012, u"a\tb\nc\rd"}, {1008, u"\x7F"}}),
              u"Connection created successfully");
    auto p = stored(std::string(20, 'n'));
    EXPECT_EQ(p["Password"], "a\tb\nc\rd");
    EXPECT_EQ(p["UserName"], "\x7F");
}

TEST_F(HostileTest, XmlSpecialsAndSurrogates) {
    std::u16string specials = u"<&>\"' ]]> <!-- x -->";
    EXPECT_EQ(create({{1014, u"A&B <x>"}}), u"Invalid connection name");  // ">" and "<" are not allowed
    EXPECT_EQ(create({{1014, u"A&B 'q'"}, {1012, specials}, {1008, specials}, {1002, u"a\"b&c"}}),
              u"Connection created successfully");
    auto p = stored("A&B 'q'");
    EXPECT_EQ(p["Password"], u8(specials));
    EXPECT_EQ(p["UserName"], u8(specials));
    std::u16string lone = u"pw";
    lone += static_cast<char16_t>(0xD83D);
    EXPECT_EQ(create({{1014, u"Surrogate"}, {1012, lone}}), u"Could not create connection");
    std::u16string lone_name = u"n";
    lone_name += static_cast<char16_t>(0xDC00);
    EXPECT_EQ(create({{1014, lone_name}, {1012, u""}}), u"Invalid connection name");
    std::u16string pair = u"pw\U0001F600";
    EXPECT_EQ(create({{1014, u"Pair"}, {1012, pair}}), u"Connection created successfully");
    EXPECT_EQ(stored("Pair")["Password"], u8(pair));
    // The dialog is still whole after all of it.
    EXPECT_EQ(w->children.size(), 14u);
}

TEST(HostileFiles, HugeTruncatedNoisyAndMarkOnlyDataFiles) {
    device_sandbox dev;
    headless_display screen(40, 24);
    orvane_platform::set_display(&screen);
    auto lng = beside_self(".lng");
    auto xml = beside_self(".xml");
    std::mt19937 rng(7);
    std::string noise(1 << 16, '\0');
    for (auto &c : noise) c = static_cast<char>(rng());
    std::string full = utf16le(u"<root><a Name=\"Alpha\" Apn=\"x\"/><a Name=\"Beta\"/></root>", bom::with);
    struct variant {
        const char *what;
        std::string bytes;
        std::size_t sparse;  // a file of this many zero bytes instead
        std::size_t presets;
    };
    for (const variant &v : {variant{"100 MB", "", 100u << 20, 1}, variant{"8 MB", "", 8u << 20, 1},
                             variant{"noise", noise, 0, 0},
                             variant{"mark only", "\xFF\xFE", 0, 1}, variant{"truncated", full.substr(0, 50), 0, 1},
                             variant{"odd", full.substr(0, 51), 0, 1}}) {
        for (const auto &path : {lng, xml}) {
            if (v.sparse != 0) {
                std::ofstream(path, std::ios::binary | std::ios::trunc).close();
                ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(v.sparse)), 0);
            } else {
                write_bytes(path, v.bytes);
            }
        }
        reset_heap_peak();
        const long long before = heap_now().bytes;
        {
            CConnectionDialog d;
            HWND w = open_dialog(d);
            ASSERT_NE(w, nullptr) << v.what;
            HWND ops = GetDlgItem(w, 1000);
            EXPECT_GE(static_cast<std::size_t>(orvane_test::combo_count(ops)), 1u) << v.what;
            if (v.presets == 1 && static_cast<std::size_t>(orvane_test::combo_count(ops)) == 1) {
                EXPECT_TRUE(orvane_test::combo_entry(ops, 0) == u"[Custom]" || orvane_test::combo_entry(ops, 0) == u"Alpha") << v.what;
            }
            EXPECT_EQ(text_of(GetDlgItem(w, 1013)).empty(), false) << v.what;
        }
        // A file over the size limit is not read at all; one below it is read once, not copied
        // again: the two views are never held together.
        if (heap_counted()) {
            const long long read = v.sparse <= (64u << 20) ? static_cast<long long>(std::max(v.sparse, v.bytes.size())) : 0;
            EXPECT_LT(heap_now().peak_bytes - before, read + (1LL << 20)) << v.what;
        }
        orvane_platform::clear_window_system();
    }
    std::filesystem::remove(lng);
    std::filesystem::remove(xml);
    orvane_platform::set_display(nullptr);
}

TEST(HostileFiles, DeviceProfilesWithWrongTypes) {
    for (const char *toml : {"[[modem]]\nname = 1\n", "modem = \"x\"\n", "[faults]\nfail = 3\n",
                             "[[modem]]\ntype = -1\n", "[[modem]]\nbaud_rate = 1e9\n", "\x01\x02\x03"}) {
        device_sandbox dev;
        dev.write_profile(toml);
        headless_display screen(40, 24);
        orvane_platform::set_display(&screen);
        {
            CConnectionDialog d;
            HWND w = open_dialog(d);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE((orvane_test::combo_count(GetDlgItem(w, 1003)) == 0)) << toml;
        }
        orvane_platform::clear_window_system();
        orvane_platform::set_display(nullptr);
    }
}
