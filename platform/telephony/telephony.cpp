// Line services and the standard modem provider, driven by the device profile.
#include <tapi.h>
#include <unimodem.h>

#include <cstring>
#include <map>
#include <string>

#include "../common/utf.h"
#include "../device/device.h"
#include "modem_config.h"

namespace {

using orvane_platform::device_profile;
using orvane_platform::modem_profile;

constexpr DWORD lowest_api_version = 0x00010004;
constexpr std::u16string_view modem_provider = u"UNIMODEM";
constexpr std::u16string_view datamodem_class = u"comm/datamodem";

struct line_app_state {
    device_profile profile;  // as the session found it
};

struct telephony_state {
    std::map<HLINEAPP, line_app_state> apps;
    std::map<HLINE, std::pair<HLINEAPP, DWORD>> lines;  // line -> (app, device)
    DWORD next_handle = 0x100;
};

telephony_state &state() {
    static telephony_state s;
    return s;
}

bool failing(const device_profile &p, std::string_view call) { return p.faults.count(call) != 0; }

bool is_modem(const modem_profile &m) { return m.provider == modem_provider; }

// Copies a variable part after the fixed part when it fits; returns false otherwise.
bool place(unsigned char *base, DWORD total, DWORD &used, const void *data, DWORD size, DWORD &size_field,
           DWORD &offset_field) {
    if (size == 0) return true;
    if (used > total || total - used < size) {
        size_field = 0;
        offset_field = 0;
        return false;
    }
    std::memcpy(base + used, data, size);
    size_field = size;
    offset_field = used;
    used += size;
    return true;
}

// The checks a record of one of a session's devices begins with; 0, with `profile` the
// session's, when they pass.
LONG session_device(HLINEAPP line_app, DWORD device_id, DWORD api_version, const void *record, std::string_view call,
                    const device_profile *&profile) {
    auto &s = state();
    auto app = s.apps.find(line_app);
    if (app == s.apps.end()) return LINEERR_INVALAPPHANDLE;
    const device_profile &p = app->second.profile;
    if (device_id >= p.modems.size()) return LINEERR_BADDEVICEID;
    if (api_version < lowest_api_version || api_version > TAPI_CURRENT_VERSION) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (record == nullptr) return LINEERR_INVALPOINTER;
    // The records describe the device as the session found it, its faults included.
    if (failing(p, call)) return LINEERR_OPERATIONFAILED;
    profile = &p;
    return 0;
}

}  // namespace

LONG lineInitializeEx(LPHLINEAPP line_app, HINSTANCE /*instance*/, LINECALLBACK /*callback*/, LPCWSTR friendly_name,
                      LPDWORD device_count, LPDWORD api_version, LPLINEINITIALIZEEXPARAMS params) {
    if (line_app == nullptr || device_count == nullptr || api_version == nullptr) return LINEERR_INVALPOINTER;
    if (params != nullptr && params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) return LINEERR_STRUCTURETOOSMALL;
    if (params != nullptr && (params->dwOptions < LINEINITIALIZEEXOPTION_USEHIDDENWINDOW ||
                              params->dwOptions > LINEINITIALIZEEXOPTION_USECOMPLETIONPORT)) {
        return LINEERR_INVALPARAM;
    }
    (void)friendly_name;
    if (*api_version < lowest_api_version) return LINEERR_INCOMPATIBLEAPIVERSION;
    device_profile profile = orvane_platform::load_device_profile();
    // An unusable profile is a device whose telephony does not start.
    if (!profile.valid || failing(profile, "lineInitializeEx")) return LINEERR_NODRIVER;
    auto &s = state();
    HLINEAPP app = s.next_handle++;
    *device_count = static_cast<DWORD>(profile.modems.size());
    *api_version = std::min<DWORD>(*api_version, TAPI_CURRENT_VERSION);
    s.apps[app] = line_app_state{std::move(profile)};
    *line_app = app;
    if (params != nullptr) params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    return 0;
}

LONG lineGetDevCaps(HLINEAPP line_app, DWORD device_id, DWORD api_version, DWORD /*ext_version*/,
                    LPLINEDEVCAPS caps) {
    const device_profile *session = nullptr;
    if (LONG rc = session_device(line_app, device_id, api_version, caps, "lineGetDevCaps", session); rc != 0) return rc;
    const device_profile &p = *session;
    DWORD total = caps->dwTotalSize;
    if (total < sizeof(LINEDEVCAPS)) return LINEERR_STRUCTURETOOSMALL;
    const modem_profile &m = p.modems[device_id];
    std::u16string provider = m.provider + u'\0';
    std::u16string name = m.name + u'\0';
    unsigned char devspecific[4] = {static_cast<unsigned char>(m.type), static_cast<unsigned char>(m.type >> 8), 0,
                                    0};
    auto provider_bytes = static_cast<DWORD>(provider.size() * 2);
    auto name_bytes = static_cast<DWORD>(name.size() * 2);
    std::memset(caps, 0, sizeof(LINEDEVCAPS));
    caps->dwTotalSize = total;
    // Every provider gives device-specific bytes of its own; only the standard modem
    // provider's begin with its device type, but another's may look the same.
    caps->dwNeededSize = static_cast<DWORD>(sizeof(LINEDEVCAPS)) + provider_bytes + name_bytes + sizeof devspecific;
    caps->dwPermanentLineID = device_id + 1;
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA;
    caps->dwMaxRate = 115200;
    caps->dwMediaModes = is_modem(m) ? LINEMEDIAMODE_DATAMODEM : LINEMEDIAMODE_INTERACTIVEVOICE;
    caps->dwMaxNumActiveCalls = 1;
    DWORD used = sizeof(LINEDEVCAPS);
    auto *base = reinterpret_cast<unsigned char *>(caps);
    place(base, total, used, provider.data(), provider_bytes, caps->dwProviderInfoSize, caps->dwProviderInfoOffset);
    place(base, total, used, name.data(), name_bytes, caps->dwLineNameSize, caps->dwLineNameOffset);
    place(base, total, used, devspecific, sizeof devspecific, caps->dwDevSpecificSize, caps->dwDevSpecificOffset);
    caps->dwUsedSize = used;
    return 0;
}

LONG lineGetSimInfo(HLINEAPP line_app, DWORD device_id, DWORD api_version, LPLINESIMINFO info) {
    const device_profile *session = nullptr;
    if (LONG rc = session_device(line_app, device_id, api_version, info, "lineGetSimInfo", session); rc != 0) return rc;
    const device_profile &p = *session;
    const DWORD total = info->dwTotalSize;
    if (total < sizeof(LINESIMINFO)) return LINEERR_STRUCTURETOOSMALL;
    const orvane_platform::sim_profile &sim = p.modems[device_id].sim;
    if (!sim.present) return LINEERR_OPERATIONUNAVAIL;
    std::u16string texts[] = {orvane_platform::from_utf8(sim.operator_id) + u'\0', sim.provider_name + u'\0',
                              orvane_platform::from_utf8(sim.iccid) + u'\0'};
    std::memset(info, 0, sizeof(LINESIMINFO));
    info->dwTotalSize = total;
    DWORD used = sizeof(LINESIMINFO);
    info->dwNeededSize = used;
    for (const std::u16string &t : texts) info->dwNeededSize += static_cast<DWORD>(t.size() * 2);
    auto *base = reinterpret_cast<unsigned char *>(info);
    DWORD *fields[][2] = {{&info->dwOperatorIdSize, &info->dwOperatorIdOffset},
                          {&info->dwServiceProviderSize, &info->dwServiceProviderOffset},
                          {&info->dwIccidSize, &info->dwIccidOffset}};
    for (std::size_t i = 0; i < 3; ++i) {
        place(base, total, used, texts[i].data(), static_cast<DWORD>(texts[i].size() * 2), *fields[i][0], *fields[i][1]);
    }
    info->dwUsedSize = used;
    return 0;
}

LONG lineOpen(HLINEAPP line_app, DWORD device_id, LPHLINE line, DWORD api_version, DWORD /*ext_version*/,
              DWORD_PTR /*callback_instance*/, DWORD privileges, DWORD media_modes,
              const LINECALLPARAMS * /*call_params*/) {
    auto &s = state();
    auto app = s.apps.find(line_app);
    if (app == s.apps.end()) return LINEERR_INVALAPPHANDLE;
    const device_profile &p = app->second.profile;
    if (line == nullptr) return LINEERR_INVALPOINTER;
    if (device_id >= p.modems.size()) return LINEERR_BADDEVICEID;
    if (api_version < lowest_api_version || api_version > TAPI_CURRENT_VERSION) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (privileges != LINECALLPRIVILEGE_NONE && privileges != LINECALLPRIVILEGE_MONITOR &&
        privileges != LINECALLPRIVILEGE_OWNER) {
        return LINEERR_INVALPRIVSELECT;
    }
    if ((media_modes & LINEMEDIAMODE_DATAMODEM) != 0 && !is_modem(p.modems[device_id])) return LINEERR_INVALMEDIAMODE;
    if (orvane_platform::fault_requested("lineOpen")) return LINEERR_RESOURCEUNAVAIL;
    HLINE h = s.next_handle++;
    s.lines[h] = {line_app, device_id};
    *line = h;
    return 0;
}

LONG lineGetDevConfig(DWORD device_id, LPVARSTRING device_config, LPCWSTR device_class) {
    if (device_config == nullptr || device_class == nullptr) return LINEERR_INVALPOINTER;
    if (std::u16string_view(device_class) != datamodem_class) return LINEERR_INVALDEVICECLASS;
    const device_profile p = orvane_platform::load_device_profile();
    if (!p.valid) return LINEERR_NODRIVER;
    if (device_id >= p.modems.size()) return LINEERR_BADDEVICEID;
    if (!is_modem(p.modems[device_id])) return LINEERR_INVALDEVICECLASS;
    if (failing(p, "lineGetDevConfig")) return LINEERR_OPERATIONFAILED;
    DWORD total = device_config->dwTotalSize;
    if (total < sizeof(VARSTRING)) return LINEERR_STRUCTURETOOSMALL;
    const modem_profile &m = p.modems[device_id];
    std::memset(device_config, 0, sizeof(VARSTRING));
    device_config->dwTotalSize = total;
    device_config->dwNeededSize =
        static_cast<DWORD>(sizeof(VARSTRING) + (m.has_config ? orvane_platform::modem_config_size : 0));
    device_config->dwStringFormat = STRINGFORMAT_BINARY;
    device_config->dwUsedSize = sizeof(VARSTRING);
    if (m.has_config && total >= device_config->dwNeededSize) {
        orvane_platform::encode_modem_config({m.type, m.baud_rate, m.dial_modifier},
                                             reinterpret_cast<unsigned char *>(device_config) + sizeof(VARSTRING));
        device_config->dwStringSize = orvane_platform::modem_config_size;
        device_config->dwStringOffset = sizeof(VARSTRING);
        device_config->dwUsedSize = device_config->dwNeededSize;
    }
    return 0;
}

LONG lineDevSpecific(HLINE line, DWORD address_id, HCALL /*call*/, LPVOID params, DWORD size) {
    {
        auto &s = state();
        if (s.lines.count(line) == 0) return LINEERR_INVALLINEHANDLE;
    }
    if (address_id != 0) return LINEERR_INVALPARAM;
    if (params == nullptr || size != sizeof(UNIMDM_CHG_DEVCFG)) return LINEERR_INVALPOINTER;
    const auto *req = static_cast<const UNIMDM_CHG_DEVCFG *>(params);
    if (req->dwCommand != UNIMDM_CMD_CHG_DEVCFG) return LINEERR_OPERATIONUNAVAIL;
    if (req->lpszDeviceClass == nullptr || std::u16string_view(req->lpszDeviceClass) != datamodem_class) {
        return LINEERR_INVALDEVICECLASS;
    }
    VARSTRING *cfg = req->lpDevConfig;
    if (cfg == nullptr) return LINEERR_INVALPOINTER;
    if (cfg->dwStringSize != orvane_platform::modem_config_size || cfg->dwStringOffset < sizeof(VARSTRING) ||
        cfg->dwStringOffset > cfg->dwTotalSize || cfg->dwTotalSize - cfg->dwStringOffset < cfg->dwStringSize) {
        return LINEERR_INVALPARAM;
    }
    auto *bytes = reinterpret_cast<unsigned char *>(cfg) + cfg->dwStringOffset;
    auto settings = orvane_platform::decode_modem_config(bytes, cfg->dwStringSize);
    if (!settings) return LINEERR_INVALPARAM;
    if (orvane_platform::fault_requested("lineDevSpecific")) return LINEERR_OPERATIONFAILED;
    if (req->dwOption == UNIMDM_OPT_BAUDRATE) {
        auto rate = static_cast<DWORD>(req->dwValue);
        if (req->dwValue > 0xFFFFFFFFu || !orvane_platform::valid_baud_rate(rate)) return LINEERR_INVALPARAM;
        settings->baud_rate = rate;
    } else if (req->dwOption == UNIMDM_OPT_DIALMOD) {
        const auto *text = reinterpret_cast<LPCWSTR>(req->dwValue);
        if (text == nullptr) return LINEERR_INVALPOINTER;
        std::size_t n = 0;
        while (n <= orvane_platform::max_dial_modifier && text[n] != 0) ++n;
        // A longer modifier does not fit the block; refused, the block unchanged.
        if (n > orvane_platform::max_dial_modifier) return LINEERR_INVALPARAM;
        settings->dial_modifier.assign(text, n);
    } else {
        return LINEERR_OPERATIONUNAVAIL;
    }
    orvane_platform::encode_modem_config(*settings, bytes);
    return 0;
}

LONG lineClose(HLINE line) {
    auto &s = state();
    return s.lines.erase(line) == 1 ? 0 : LINEERR_INVALLINEHANDLE;
}

LONG lineShutdown(HLINEAPP line_app) {
    auto &s = state();
    if (s.apps.erase(line_app) == 0) return LINEERR_INVALAPPHANDLE;
    for (auto it = s.lines.begin(); it != s.lines.end();) {
        it = it->second.first == line_app ? s.lines.erase(it) : std::next(it);
    }
    return 0;
}
