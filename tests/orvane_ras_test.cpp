#include "provisioning/orvane_ras.h"

#include <gtest/gtest.h>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

#include <pugixml.hpp>

#include <atomic>
#include <cstdlib>
#include <new>

#include "config/connection_store.h"
#include "config/provisioning.h"
#include "device/device.h"
#include "modems/orvane_tapi.h"
#include "provisioning/ui_exception.h"
#include "support/heap_counter.h"
#include "support/test_support.h"
#include "telephony/modem_config.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

struct request_texts {
    std::u16string name = u"Test";
    std::u16string device = u"Hayes Compatible on COM1:";
    std::u16string apn = u"internet";
    std::u16string user = u"user";
    std::u16string password = u"secret";
    std::u16string domain;
    std::u16string phone = u"*99***1#";
    connection_request request() const {
        return {name.c_str(), device.c_str(), apn.c_str(), user.c_str(),
                password.c_str(), domain.c_str(), phone.c_str()};
    }
};

std::optional<orvane_platform::stored_entry> stored(const std::u16string &name) {
    if (!orvane_platform::connection_store::exists()) return std::nullopt;
    orvane_platform::connection_store store(orvane_platform::connection_store::mode::read);
    return store.find(u8(name));
}

std::string parm(const orvane_platform::stored_entry &e, const std::string &name) {
    for (const auto &[k, v] : e.parms) {
        if (k == name) return v;
    }
    ADD_FAILURE() << "no parameter " << name;
    return {};
}

orvane_platform::modem_settings device_settings(const orvane_platform::stored_entry &e) {
    auto s = orvane_platform::decode_modem_config_hex(parm(e, "DeviceSpecificRAW"));
    EXPECT_TRUE(s.has_value());
    return s.value_or(orvane_platform::modem_settings{});
}

ui_exception refusal(modem_list &m, const request_texts &t) {
    try {
        create_connection(m, t.request());
    } catch (const ui_exception &e) {
        return e;
    }
    ADD_FAILURE() << "creation succeeded";
    return ui_exception(u"");
}

}  // namespace

TEST(ProvisioningTemplate, EachValueLandsInItsOwnParameterInOnePass) {
    // Read as the configuration service reads it: one entry under CM_PPPEntries, its
    // parameters in order. Values that look like placeholders stay as typed.
    request_texts t;
    t.name = u"N%PHONE%";
    t.phone = u"*99#";
    t.user = u"%PASSWORD%";
    t.password = u"p&<\"";
    t.domain = u"%DEVICE%";
    t.device = u"Dev";
    const std::string doc = u8(fill_provisioning_template(t.request(), u"0A0B"));
    pugi::xml_document parsed;
    ASSERT_TRUE(parsed.load_string(doc.c_str())) << doc;
    const pugi::xml_node root = parsed.document_element();
    EXPECT_STREQ(root.name(), "wap-provisioningdoc");
    ASSERT_EQ(std::distance(root.begin(), root.end()), 1);
    const pugi::xml_node entries = root.first_child();
    EXPECT_STREQ(entries.attribute("type").value(), "CM_PPPEntries");
    ASSERT_EQ(std::distance(entries.begin(), entries.end()), 1);
    const pugi::xml_node entry = entries.first_child();
    EXPECT_STREQ(entry.attribute("type").value(), "N%PHONE%");
    const std::pair<const char *, std::string> want[] = {
        {"DestId", u8(destination_network_id)},
        {"Phone", "*99#"},
        {"UseCountryAndAreaCodes", "0"},
        {"DialAsLocalCall", "1"},
        {"Script", ""},
        {"UserName", "%PASSWORD%"},
        {"Password", "p&<\""},
        {"Domain", "%DEVICE%"},
        {"DeviceType", "modem"},
        {"DeviceName", "Dev"},
        {"DeviceSpecificRAW", "0A0B"},
    };
    std::size_t i = 0;
    for (const pugi::xml_node &p : entry.children()) {
        ASSERT_LT(i, std::size(want)) << "an extra parameter " << p.attribute("name").value();
        EXPECT_STREQ(p.name(), "parm");
        EXPECT_STREQ(p.attribute("name").value(), want[i].first);
        EXPECT_EQ(p.attribute("value").value(), want[i].second) << want[i].first;
        EXPECT_EQ(std::distance(p.attributes_begin(), p.attributes_end()), 2);
        ++i;
    }
    EXPECT_EQ(i, std::size(want));
    EXPECT_EQ(std::u16string(destination_network_id), u"{ADB0B001-10B5-3F39-27C6-9742E785FCD4}");
}

TEST(NameTest, ThreeResults) {
    device_sandbox dev;
    EXPECT_TRUE(connection_name_available(u"Connection"));
    EXPECT_FALSE(connection_name_available(u""));
    EXPECT_FALSE(connection_name_available(u"a:b"));
    modem_list m;
    request_texts t;
    t.name = u"Connection";
    create_connection(m, t.request());
    EXPECT_FALSE(connection_name_available(u"Connection"));
    EXPECT_FALSE(connection_name_available(u"CONNECTION"));
    EXPECT_TRUE(connection_name_available(u"Connection 1"));
}

TEST(CreateConnection, StoresTheDocumentWithSpeedAndModifier) {
    device_sandbox dev;
    modem_list m;
    request_texts t;
    t.apn = u"web.apn";
    create_connection(m, t.request());
    auto e = stored(u"Test");
    ASSERT_TRUE(e);
    EXPECT_EQ(parm(*e, "DestId"), "{ADB0B001-10B5-3F39-27C6-9742E785FCD4}");
    EXPECT_EQ(parm(*e, "Phone"), "*99***1#");
    EXPECT_EQ(parm(*e, "UseCountryAndAreaCodes"), "0");
    EXPECT_EQ(parm(*e, "DialAsLocalCall"), "1");
    EXPECT_EQ(parm(*e, "Script"), "");
    EXPECT_EQ(parm(*e, "UserName"), "user");
    EXPECT_EQ(parm(*e, "Password"), "secret");
    EXPECT_EQ(parm(*e, "Domain"), "");
    EXPECT_EQ(parm(*e, "DeviceType"), "modem");
    EXPECT_EQ(parm(*e, "DeviceName"), "Hayes Compatible on COM1:");
    auto s = device_settings(*e);
    EXPECT_EQ(s.baud_rate, 115200u);
    EXPECT_EQ(s.dial_modifier, u"+CGDCONT=1,\"IP\",\"web.apn\"");
    EXPECT_EQ(s.dial_modifier.size(), t.apn.size() + 18);
    EXPECT_EQ(e->parms.size(), 11u);
}

TEST(CreateConnection, EmptyOrNoApnKeepsTheModemsOwnModifier) {
    for (bool null_apn : {false, true}) {
        device_sandbox dev;
        dev.write_profile("[[modem]]\nname = \"M\"\ntype = 1\ndial_modifier = \"X1\"\n");
        modem_list m;
        request_texts t;
        t.apn.clear();
        t.user.clear();
        t.password.clear();
        t.phone.clear();
        connection_request r = t.request();
        if (null_apn) r.apn = nullptr;
        create_connection(m, r);
        auto e = stored(u"Test");
        ASSERT_TRUE(e) << null_apn;
        EXPECT_EQ(device_settings(*e).dial_modifier, u"X1") << null_apn;
        EXPECT_EQ(device_settings(*e).baud_rate, 115200u);
        EXPECT_EQ(parm(*e, "UserName"), "");
        EXPECT_EQ(parm(*e, "Phone"), "");
    }
}

// Every field of the document, the modem's name among them, reaches the store as typed, whatever
// characters it holds: markup, placeholders, quotes, white space, letters beyond ASCII.
TEST(CreateConnection, TypedTextCannotChangeTheDocument) {
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = '''Modem & <Co> \"A\" 'B' %NAME%'''\ntype = 1\n");
    std::u16string every;
    for (char16_t c = 1; c < 0x80; ++c) {
        if (c >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r') every += c;
    }
    every += u"\u00E9\u4E2D\U0001F600 x\"/><parm name=\"DeviceName\" value=\"y %DOMAIN% %DEVCFG% ]]>";
    modem_list m;
    request_texts t;
    t.name = u"Net & 'Co' %PHONE%";
    t.device = u"Modem & <Co> \"A\" 'B' %NAME%";
    t.password = every;
    t.user = every;
    t.phone = every;
    t.domain = every;
    t.apn.clear();
    try {
        create_connection(m, t.request());
    } catch (const ui_exception &x) {
        FAIL() << x.line() << " " << u8(x.message());
    }
    auto e = stored(t.name);
    ASSERT_TRUE(e);
    for (const char *field : {"Password", "UserName", "Phone", "Domain"}) EXPECT_EQ(parm(*e, field), u8(every)) << field;
    EXPECT_EQ(parm(*e, "DeviceName"), u8(t.device));
    EXPECT_EQ(device_settings(*e).baud_rate, 115200u);
}

TEST(CreateConnection, RefusalsInOrderAndWithoutModemWork) {
    device_sandbox dev;
    modem_list m;
    request_texts t;
    t.name = u"bad/name";
    auto e = refusal(m, t);
    EXPECT_EQ(e.message(), u"Invalid connection name");
    EXPECT_EQ(e.source_file(), "");
    EXPECT_EQ(e.line(), 0);
    t.name = u"Test";
    t.device.clear();
    e = refusal(m, t);
    EXPECT_EQ(e.message(), u"Could not create connection");
    EXPECT_EQ(e.source_file(), ".\\orvane_ras");
    EXPECT_EQ(e.line(), 66);
    EXPECT_EQ(m.line_app(), 0u);
    t.device = u"Any modem name";
    create_connection(m, t.request());
    modem_list other;
    e = refusal(other, t);
    EXPECT_EQ(e.message(), u"Connection with such name already exists");
    EXPECT_EQ(e.line(), 0);
    EXPECT_EQ(other.line_app(), 0u);  // refused before any modem work
}

TEST(CreateConnection, ServiceRefusalAndAFreshBlockForEachRequest) {
    device_sandbox dev;
    modem_list m;
    request_texts t;
    t.apn = u"first";
    dev.fail("[\"DMProcessConfigXML\"]");
    auto e = refusal(m, t);
    EXPECT_EQ(e.source_file(), ".\\orvane_ras");
    EXPECT_EQ(e.line(), 112);
    EXPECT_FALSE(stored(u"Test"));
    dev.clear_faults();
    // The APN of the failed attempt was removed: the new entry must not dial with it.
    t.apn.clear();
    create_connection(m, t.request());
    auto s = device_settings(*stored(u"Test"));
    EXPECT_EQ(s.dial_modifier, u"");
}

TEST(CreateConnection, RefusedModemChangesFailTheRequest) {
    device_sandbox dev;
    modem_list m;
    request_texts t;
    t.apn = std::u16string(238, u'a');  // 256 units with the context definition around it
    auto e = refusal(m, t);
    EXPECT_EQ(e.message(), u"Could not create connection");
    EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
    EXPECT_EQ(e.line(), 172);  // the dial modifier's change request
    EXPECT_FALSE(stored(u"Test"));
    t.apn = std::u16string(237, u'a');
    create_connection(m, t.request());
    EXPECT_EQ(device_settings(*stored(u"Test")).dial_modifier.size(), 255u);
    dev.fail("[\"lineDevSpecific\"]");
    t.name = u"Second";
    e = refusal(m, t);
    EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
    EXPECT_EQ(e.line(), 169);  // the speed's change request, the first one made
}

TEST(CreateConnection, TelephonyFailuresPropagate) {
    device_sandbox dev;
    dev.fail("[\"lineInitializeEx\"]");
    modem_list m;
    request_texts t;
    auto e = refusal(m, t);
    EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
    EXPECT_EQ(e.line(), 74);
}

TEST(CreateConnection, TheReplyIsReleasedAndOtherNameResultsGoOn) {
    device_sandbox dev;
    modem_list m;
    m.ensure_open();
    request_texts t;
    t.name = u"Warm";
    create_connection(m, t.request());  // the libraries' first-use allocations
    orvane_platform::take_device_notices();
    // Every block creation takes, the reply among them, is given back on success and on failure.
    long long before = heap_now().blocks;
    t.name = u"Work";
    create_connection(m, t.request());
    if (heap_counted()) {
        EXPECT_EQ(heap_now().blocks, before);
    }
    dev.fail("[\"DMProcessConfigXML\"]");
    t.name = u"Refused";
    EXPECT_EQ(refusal(m, t).line(), 112);
    // The service's reason is kept for the user, beside the screen.
    EXPECT_EQ(orvane_platform::take_device_notices(),
              std::vector<std::string>{"the connection was not created: the configuration service is failing (device.toml faults)"});
    if (heap_counted()) {
        EXPECT_EQ(heap_now().blocks, before);
    }
    // The name test failing otherwise (1003) is neither "invalid" nor "taken": creation goes on.
    dev.fail("[\"RasValidateEntryName\"]");
    t.name = u"Unchecked";
    create_connection(m, t.request());
    EXPECT_TRUE(stored(u"Unchecked"));
}
