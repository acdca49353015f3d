#include "provisioning/orvane_ras.h"

#include <gtest/gtest.h>

#include "config/connection_store.h"
#include "modems/orvane_tapi.h"
#include "provisioning/ui_exception.h"
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

TEST(ProvisioningTemplate, IsTheFixedDocument) {
    std::u16string t = provisioning_template;
    EXPECT_EQ(t.size(), 584u);
    EXPECT_EQ(std::u16string(destination_network_id).size(), 38u);
    EXPECT_EQ(t.substr(0, 58), u"<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">");
    for (const char16_t *p : {u"%NAME%", u"%DESTID%", u"%PHONE%", u"%LOGIN%", u"%PASSWORD%", u"%DOMAIN%",
                              u"%DEVICE%", u"%DEVCFG%"}) {
        EXPECT_NE(t.find(p), std::u16string::npos) << u8(p);
    }
}

TEST(ProvisioningTemplate, FilledInOnePassLikeReplacingInTurn) {
    request_texts t;
    std::u16string doc = fill_provisioning_template(t.request(), u"0A0B");
    std::u16string expected = provisioning_template;
    replace_first(expected, u"%NAME%", t.name);
    replace_first(expected, u"%DESTID%", destination_network_id);
    replace_first(expected, u"%PHONE%", t.phone);
    replace_first(expected, u"%LOGIN%", t.user);
    replace_first(expected, u"%PASSWORD%", t.password);
    replace_first(expected, u"%DOMAIN%", t.domain);
    replace_first(expected, u"%DEVICE%", t.device);
    replace_first(expected, u"%DEVCFG%", u"0A0B");
    EXPECT_EQ(doc, expected);
    EXPECT_NE(doc.find(u"<parm name=\"Domain\" value=\"\"/>"), std::u16string::npos);
}

TEST(ReplaceFirst, OnlyTheFirstOccurrence) {
    std::u16string d = u"a%X%b%X%";
    EXPECT_EQ(replace_first(d, u"%X%", u"1"), 1u);
    EXPECT_EQ(d, u"a1b%X%");
    EXPECT_EQ(replace_first(d, u"%Y%", u"2"), std::u16string::npos);
    EXPECT_EQ(d, u"a1b%X%");
    EXPECT_EQ(replace_first(d, u"%X%", u""), 3u);
    EXPECT_EQ(d, u"a1b");
}

TEST(XmlEscape, SpecialsAndWhiteSpace) {
    EXPECT_EQ(xml_escape(u"a&<>\"'b"), u"a&amp;&lt;&gt;&quot;&apos;b");
    EXPECT_EQ(xml_escape(u"\t\n\r"), u"&#9;&#10;&#13;");
    EXPECT_EQ(xml_escape(u"plain"), u"plain");
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

TEST(CreateConnection, EmptyApnKeepsTheModemsOwnModifier) {
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"M\"\ntype = 1\ndial_modifier = \"X1\"\n");
    modem_list m;
    request_texts t;
    t.apn.clear();
    t.user.clear();
    t.password.clear();
    t.phone.clear();
    create_connection(m, t.request());
    auto e = stored(u"Test");
    ASSERT_TRUE(e);
    EXPECT_EQ(device_settings(*e).dial_modifier, u"X1");
    EXPECT_EQ(device_settings(*e).baud_rate, 115200u);
    EXPECT_EQ(parm(*e, "UserName"), "");
    EXPECT_EQ(parm(*e, "Phone"), "");
}

TEST(CreateConnection, TypedTextCannotChangeTheDocument) {
    device_sandbox dev;
    modem_list m;
    request_texts t;
    t.password = u"x\"/><parm name=\"DeviceName\" value=\"y";
    t.user = u"%DOMAIN% & <b> 'q'\t\r\n";
    t.phone = u"%DEVCFG%";
    create_connection(m, t.request());
    auto e = stored(u"Test");
    ASSERT_TRUE(e);
    EXPECT_EQ(parm(*e, "Password"), u8(t.password));
    EXPECT_EQ(parm(*e, "UserName"), u8(t.user));
    EXPECT_EQ(parm(*e, "Phone"), "%DEVCFG%");
    EXPECT_EQ(parm(*e, "Domain"), "");
    EXPECT_EQ(parm(*e, "DeviceName"), "Hayes Compatible on COM1:");
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
    EXPECT_FALSE(stored(u"Test"));
    t.apn = std::u16string(237, u'a');
    create_connection(m, t.request());
    EXPECT_EQ(device_settings(*stored(u"Test")).dial_modifier.size(), 255u);
    dev.fail("[\"lineDevSpecific\"]");
    t.name = u"Second";
    e = refusal(m, t);
    EXPECT_EQ(e.source_file(), ".\\orvane_tapi");
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
