#include "modems/orvane_tapi.h"

#include <gtest/gtest.h>

#include <regex>

#include "provisioning/ui_exception.h"
#include "support/test_support.h"
#include "telephony/modem_config.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

using names = std::vector<std::u16string>;

void expect_failure_at(modem_list &m, int line) {
    try {
        m.ensure_open();
        ADD_FAILURE() << "no exception, expected line " << line;
    } catch (const ui_exception &e) {
        EXPECT_EQ(e.message(), u"Could not create connection");
        EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
        EXPECT_EQ(e.line(), line);
    }
}

orvane_platform::modem_settings settings_of(const modem_list &m) {
    auto s = orvane_platform::decode_modem_config_hex(u8(m.device_config_hex()));
    EXPECT_TRUE(s.has_value());
    return s.value_or(orvane_platform::modem_settings{});
}

}  // namespace

TEST(ModemList, BuiltInDeviceListsTheHayesModemOnly) {
    device_sandbox dev;
    modem_list m;
    EXPECT_EQ(m.line_app(), 0u);  // construction does no platform work
    EXPECT_EQ(m.modem_names(), (names{u"Hayes Compatible on COM1:"}));
    EXPECT_NE(m.open_line(), 0u);
    EXPECT_EQ(m.modems().at(0).device_id, 1u);
    EXPECT_EQ(m.api_version(), 0x00020000u);
}

TEST(ModemList, FiltersByProviderAndTypeInAscendingIds) {
    device_sandbox dev;
    std::string toml;
    for (int type = 0; type <= 8; ++type) {
        toml += "[[modem]]\nname = \"T" + std::to_string(type) + "\"\nprovider = \"UNIMODEM\"\ntype = " +
                std::to_string(type) + "\n";
    }
    toml += "[[modem]]\nname = \"T1\"\nprovider = \"UNIMODEM\"\ntype = 1\n";   // same name again
    toml += "[[modem]]\nname = \"Lower\"\nprovider = \"unimodem\"\ntype = 1\n";  // exact provider text only
    // Another provider's device whose own bytes read as a data-modem type stays out too.
    toml += "[[modem]]\nname = \"Cell\"\nprovider = \"Cellular TSP\"\ntype = 1\n";
    dev.write_profile(toml);
    modem_list m;
    EXPECT_EQ(m.modem_names(), (names{u"T1", u"T2", u"T3", u"T5", u"T7", u"T1"}));
    std::vector<DWORD> ids;
    for (const auto &e : m.modems()) ids.push_back(e.device_id);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 5, 7, 9}));
    // The first qualifying modem's configuration is the one read (device 1, not device 9).
    EXPECT_EQ(settings_of(m).type, 1);
    EXPECT_EQ(m.first_device_id(), 1u);
    // Asked again, the same names come back without a new query: a query now would fail.
    dev.write_profile(toml + "[faults]\nfail = [\"lineGetDevCaps\", \"lineInitializeEx\", \"lineOpen\"]\n");
    EXPECT_EQ(m.modem_names(), (names{u"T1", u"T2", u"T3", u"T5", u"T7", u"T1"}));
}

TEST(ModemList, NamesBeyondLatinComeThroughWhole) {
    // Units whose high byte is not zero, and a pair of surrogates.
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"\u041C\u043E\u0434\u0435\u043C \u4E2D \U0001F4F6\"\n");
    modem_list m;
    EXPECT_EQ(m.modem_names(), (names{u"\u041C\u043E\u0434\u0435\u043C \u4E2D \U0001F4F6"}));
}

TEST(ModemList, FailureRowsAndRetries) {
    device_sandbox dev;
    {
        modem_list m;
        dev.fail("[\"lineInitializeEx\"]");
        expect_failure_at(m, 74);
        EXPECT_EQ(m.line_app(), 0u);
        dev.clear_faults();
        EXPECT_EQ(m.modem_names().size(), 1u);  // registration tried again
    }
    {
        dev.write_profile("not = [valid");
        modem_list m;
        expect_failure_at(m, 74);
    }
    {
        dev.write_profile("[[modem]]\nname = \"IrDA\"\ntype = 6\n");
        modem_list m;
        expect_failure_at(m, 255);
        // Registration succeeded; the next use tries the missing steps again.
        EXPECT_NE(m.line_app(), 0u);
        expect_failure_at(m, 255);
    }
    {
        dev.write_profile("");
        dev.fail("[\"lineOpen\"]");
        modem_list m;
        expect_failure_at(m, 98);
        EXPECT_NE(m.line_app(), 0u);
        EXPECT_FALSE(m.config());
        dev.clear_faults();
        m.ensure_open();  // the missing steps are done now
        EXPECT_NE(m.open_line(), 0u);
        EXPECT_TRUE(m.config());
    }
    {
        dev.fail("[\"lineGetDevConfig\"]");
        modem_list m;
        expect_failure_at(m, 150);
        EXPECT_FALSE(m.config());
        dev.clear_faults();
        m.ensure_open();
        EXPECT_TRUE(m.config());
    }
    {
        // A device whose capability query fails is left out, not an error.
        dev.fail("[\"lineGetDevCaps\"]");
        modem_list m;
        expect_failure_at(m, 255);
    }
}

TEST(DeviceConfig, TwoReadsAndTheHexadecimalExport) {
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"M\"\ntype = 1\nbaud_rate = 9600\ndial_modifier = \"ATX\"\n");
    modem_list m;
    m.ensure_open();
    // The provider's block is larger than the bare header: the buffer grew to its needed size.
    ASSERT_TRUE(m.config());
    EXPECT_EQ(m.config().size(), 24u + orvane_platform::modem_config_size);
    EXPECT_EQ(m.config().header()->dwTotalSize, m.config().size());
    std::u16string hex = m.device_config_hex();
    EXPECT_EQ(hex.size(), 2 * orvane_platform::modem_config_size);
    EXPECT_TRUE(std::regex_match(u8(hex), std::regex("[0-9A-F]*")));
    const auto *bytes = reinterpret_cast<const BYTE *>(m.config().header()) + 24;
    char first[3];
    std::snprintf(first, sizeof first, "%02X", bytes[0]);
    EXPECT_EQ(u8(hex.substr(0, 2)), first);
    EXPECT_EQ(u8(hex.substr(0, 8)), "4F564443");  // the provider's magic, byte by byte
    auto s = settings_of(m);
    EXPECT_EQ(s.baud_rate, 9600u);
    EXPECT_EQ(s.dial_modifier, u"ATX");
}

TEST(DeviceConfig, ChangesGoThroughTheProviderAndCanBeUndone) {
    device_sandbox dev;
    modem_list m;
    m.ensure_open();
    m.set_baud_rate(115200);
    m.set_dial_modifier(u"+CGDCONT=1,\"IP\",\"web\"");
    auto s = settings_of(m);
    EXPECT_EQ(s.baud_rate, 115200u);
    EXPECT_EQ(s.dial_modifier, u"+CGDCONT=1,\"IP\",\"web\"");
    std::u16string limit(255, u'm');
    m.set_dial_modifier(limit.c_str());
    EXPECT_EQ(settings_of(m).dial_modifier, limit);
    // One unit more is refused by the provider, and that is an error, the block unchanged.
    std::u16string over(256, u'm');
    try {
        m.set_dial_modifier(over.c_str());
        ADD_FAILURE() << "refused change passed";
    } catch (const ui_exception &e) {
        EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
        EXPECT_EQ(e.line(), 172);  // the line of the change request
    }
    EXPECT_EQ(settings_of(m).dial_modifier, limit);
    EXPECT_THROW(m.set_baud_rate(12345), ui_exception);
    m.restore_device_config();
    EXPECT_EQ(settings_of(m).baud_rate, 19200u);
    EXPECT_EQ(settings_of(m).dial_modifier, u"");
}

TEST(DeviceConfig, AProviderWithoutABlockIsAskedOnlyAtOpening) {
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"M\"\ntype = 1\nconfig_block = false\n");
    modem_list m;
    m.ensure_open();
    // The answer is remembered: a block the provider keeps later does not appear.
    dev.write_profile("[[modem]]\nname = \"M\"\ntype = 1\n");
    EXPECT_EQ(m.device_config_hex(), u"");
    m.restore_device_config();
    EXPECT_EQ(m.device_config_hex(), u"");
}

TEST(DeviceConfig, NoBlockBeforeOpeningExportsNothing) {
    modem_list m;
    EXPECT_EQ(m.device_config_hex(), u"");
    EXPECT_THROW(m.first_device_id(), ui_exception);
}
