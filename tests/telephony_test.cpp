#include <gtest/gtest.h>
#include <tapi.h>
#include <unimodem.h>

#include <cstring>
#include <vector>

#include "support/test_support.h"
#include "telephony/modem_config.h"

using namespace orvane_test;

namespace {

struct registration {
    HLINEAPP app = 0;
    DWORD count = 0;
    DWORD version = 0x00020000;
    LONG rc;
    registration() {
        LINEINITIALIZEEXPARAMS p{};
        p.dwTotalSize = sizeof p;
        p.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        rc = lineInitializeEx(&app, nullptr, nullptr, u"test", &count, &version, &p);
    }
    ~registration() {
        if (rc == 0) lineShutdown(app);
    }
};

}  // namespace

TEST(Telephony, CapabilityRecordsTooSmallGetTheirNeededSize) {
    device_sandbox dev;
    registration r;
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.count, 3u);
    std::vector<BYTE> buf(1024);
    auto *caps = reinterpret_cast<LINEDEVCAPS *>(buf.data());
    caps->dwTotalSize = 1024;
    ASSERT_EQ(lineGetDevCaps(r.app, 1, r.version, 0, caps), 0);
    EXPECT_EQ(caps->dwProviderInfoOffset, sizeof(LINEDEVCAPS));  // the variable part follows the fixed part
    EXPECT_EQ(caps->dwProviderInfoSize, 18u);                    // "UNIMODEM" and its NUL
    EXPECT_EQ(caps->dwLineNameOffset, sizeof(LINEDEVCAPS) + 18);
    EXPECT_EQ(caps->dwUsedSize, caps->dwNeededSize);
    DWORD needed = caps->dwNeededSize;
    // Room for the fixed part and the provider text only.
    std::vector<BYTE> small(sizeof(LINEDEVCAPS) + 20);
    caps = reinterpret_cast<LINEDEVCAPS *>(small.data());
    caps->dwTotalSize = static_cast<DWORD>(small.size());
    ASSERT_EQ(lineGetDevCaps(r.app, 1, r.version, 0, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, needed);
    EXPECT_EQ(caps->dwProviderInfoSize, 18u);
    EXPECT_EQ(caps->dwLineNameSize, 0u);
    EXPECT_EQ(caps->dwUsedSize, sizeof(LINEDEVCAPS) + 18);
    caps->dwTotalSize = 16;
    EXPECT_EQ(lineGetDevCaps(r.app, 1, r.version, 0, caps), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(lineGetDevCaps(r.app, 3, r.version, 0, caps), LINEERR_BADDEVICEID);
    EXPECT_EQ(lineGetDevCaps(r.app + 999, 1, r.version, 0, caps), LINEERR_INVALAPPHANDLE);
}

// A modem's simulated SIM as the SIM record gives it; without one, or with a record too small
// for the fixed part, the call says so.
TEST(Telephony, TheSimRecord) {
    device_sandbox dev;
    dev.write_profile("[[modem]]\nname = \"A\"\nsim = { operator = \"001010\", name = \"Zo\\u00EB\", iccid = \"8901\" }\n"
                      "[[modem]]\nname = \"B\"\n");
    registration r;
    ASSERT_EQ(r.rc, 0);
    std::vector<BYTE> buf(256);
    auto *sim = reinterpret_cast<LINESIMINFO *>(buf.data());
    sim->dwTotalSize = static_cast<DWORD>(buf.size());
    ASSERT_EQ(lineGetSimInfo(r.app, 0, r.version, sim), 0);
    auto text = [&](DWORD offset, DWORD size) {
        return std::u16string(reinterpret_cast<const char16_t *>(buf.data() + offset), size / 2);
    };
    EXPECT_EQ(text(sim->dwOperatorIdOffset, sim->dwOperatorIdSize), std::u16string(u"001010\0", 7));
    EXPECT_EQ(text(sim->dwServiceProviderOffset, sim->dwServiceProviderSize), std::u16string(u"Zo\u00EB\0", 4));
    EXPECT_EQ(text(sim->dwIccidOffset, sim->dwIccidSize), std::u16string(u"8901\0", 5));
    EXPECT_EQ(sim->dwUsedSize, sim->dwNeededSize);
    EXPECT_EQ(sim->dwNeededSize, sizeof(LINESIMINFO) + 2 * (7 + 4 + 5));
    // Room for the operator only: the rest is left out, and the size it needs is told.
    sim->dwTotalSize = sizeof(LINESIMINFO) + 14;
    ASSERT_EQ(lineGetSimInfo(r.app, 0, r.version, sim), 0);
    EXPECT_EQ(sim->dwOperatorIdSize, 14u);
    EXPECT_EQ(sim->dwServiceProviderSize, 0u);
    EXPECT_EQ(sim->dwNeededSize, sizeof(LINESIMINFO) + 32);
    sim->dwTotalSize = sizeof(LINESIMINFO) - 1;
    EXPECT_EQ(lineGetSimInfo(r.app, 0, r.version, sim), LINEERR_STRUCTURETOOSMALL);
    sim->dwTotalSize = static_cast<DWORD>(buf.size());
    EXPECT_EQ(lineGetSimInfo(r.app, 1, r.version, sim), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(lineGetSimInfo(r.app, 2, r.version, sim), LINEERR_BADDEVICEID);
    EXPECT_EQ(lineGetSimInfo(r.app, 0, r.version, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(lineGetSimInfo(r.app + 999, 0, r.version, sim), LINEERR_INVALAPPHANDLE);
    dev.write_profile("[[modem]]\nname = \"A\"\nsim = { operator = \"00101\" }\n[faults]\nfail = [\"lineGetSimInfo\"]\n");
    registration failing;
    ASSERT_EQ(failing.rc, 0);
    EXPECT_EQ(lineGetSimInfo(failing.app, 0, failing.version, sim), LINEERR_OPERATIONFAILED);
}

TEST(Telephony, OpenShutdownAndVersions) {
    device_sandbox dev;
    HLINEAPP app = 0;
    DWORD count = 0;
    DWORD version = 0x00010003;
    EXPECT_EQ(lineInitializeEx(&app, nullptr, nullptr, u"t", &count, &version, nullptr),
              LINEERR_INCOMPATIBLEAPIVERSION);
    registration r;
    HLINE line = 0;
    EXPECT_EQ(lineOpen(r.app, 0, &line, r.version, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr),
              LINEERR_INVALMEDIAMODE);  // the cellular line is no data modem
    ASSERT_EQ(lineOpen(r.app, 1, &line, r.version, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr), 0);
    EXPECT_NE(line, 0u);
    EXPECT_EQ(lineShutdown(r.app), 0);
    r.rc = -1;
    EXPECT_EQ(lineShutdown(r.app), LINEERR_INVALAPPHANDLE);
    // The line ended with the registration.
    EXPECT_EQ(lineDevSpecific(line, 0, 0, nullptr, 0), LINEERR_INVALLINEHANDLE);
}

TEST(Telephony, DeviceConfigAndChangeRequests) {
    device_sandbox dev;
    registration r;
    VARSTRING head{};
    head.dwTotalSize = sizeof head;
    ASSERT_EQ(lineGetDevConfig(1, &head, u"comm/datamodem"), 0);
    EXPECT_EQ(head.dwNeededSize, 24u + orvane_platform::modem_config_size);
    EXPECT_EQ(head.dwStringSize, 0u);
    EXPECT_EQ(lineGetDevConfig(1, &head, u"comm"), LINEERR_INVALDEVICECLASS);
    EXPECT_EQ(lineGetDevConfig(0, &head, u"comm/datamodem"), LINEERR_INVALDEVICECLASS);
    std::vector<BYTE> buf(head.dwNeededSize);
    auto *cfg = reinterpret_cast<VARSTRING *>(buf.data());
    cfg->dwTotalSize = head.dwNeededSize;
    ASSERT_EQ(lineGetDevConfig(1, cfg, u"comm/datamodem"), 0);
    EXPECT_EQ(cfg->dwStringOffset, 24u);
    EXPECT_EQ(cfg->dwStringSize, orvane_platform::modem_config_size);

    HLINE line = 0;
    ASSERT_EQ(lineOpen(r.app, 1, &line, r.version, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr), 0);
    UNIMDM_CHG_DEVCFG req{UNIMDM_CMD_CHG_DEVCFG, u"comm/datamodem", cfg, UNIMDM_OPT_BAUDRATE, 115200};
    EXPECT_EQ(lineDevSpecific(line, 0, 0, &req, sizeof req), 0);
    auto s = orvane_platform::decode_modem_config(buf.data() + 24, cfg->dwStringSize);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->baud_rate, 115200u);
    std::vector<BYTE> before = buf;
    req.dwValue = 0;
    EXPECT_NE(lineDevSpecific(line, 0, 0, &req, sizeof req), 0);
    req.dwOption = 77;
    EXPECT_NE(lineDevSpecific(line, 0, 0, &req, sizeof req), 0);
    req.dwOption = UNIMDM_OPT_DIALMOD;
    req.dwValue = 0;
    EXPECT_NE(lineDevSpecific(line, 0, 0, &req, sizeof req), 0);
    EXPECT_NE(lineDevSpecific(line, 0, 0, &req, sizeof req - 1), 0);
    // A block that claims bytes beyond its buffer is refused, not read.
    cfg->dwStringOffset = cfg->dwTotalSize - 10;
    req.dwValue = reinterpret_cast<DWORD_PTR>(u"x");
    EXPECT_NE(lineDevSpecific(line, 0, 0, &req, sizeof req), 0);
    cfg->dwStringOffset = 24;
    EXPECT_EQ(buf, before);
}

TEST(ModemConfig, EncodeDecodeRoundTripAndRejects) {
    orvane_platform::modem_settings s{1, 57600, u"AT&F"};
    std::vector<unsigned char> b(orvane_platform::modem_config_size);
    orvane_platform::encode_modem_config(s, b.data());
    auto d = orvane_platform::decode_modem_config(b.data(), b.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->baud_rate, 57600u);
    EXPECT_EQ(d->dial_modifier, u"AT&F");
    EXPECT_FALSE(orvane_platform::decode_modem_config(b.data(), b.size() - 1));
    EXPECT_FALSE(orvane_platform::decode_modem_config_hex("ABC"));
    EXPECT_FALSE(orvane_platform::decode_modem_config_hex("ZZ"));
    b[13] = 0x01;  // a modifier length of 256 and more does not fit
    EXPECT_FALSE(orvane_platform::decode_modem_config(b.data(), b.size()));
}
