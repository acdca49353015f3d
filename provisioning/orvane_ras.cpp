#include "orvane_ras.h"

#include <cfgmgrapi.h>
#include <ras.h>

#include <memory>

#include "../modems/orvane_tapi.h"
#include "../text/uistrings.h"
#include "ui_exception.h"

namespace orvane_cr {

const WCHAR provisioning_template[] =
    u"<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\"><characteristic type=\"%NAME%\">"
    u"<parm name=\"DestId\" value=\"%DESTID%\"/><parm name=\"Phone\" value=\"%PHONE%\"/>"
    u"<parm name=\"UseCountryAndAreaCodes\" value=\"0\"/><parm name=\"DialAsLocalCall\" value=\"1\"/>"
    u"<parm name=\"Script\" value=\"\"/><parm name=\"UserName\" value=\"%LOGIN%\"/>"
    u"<parm name=\"Password\" value=\"%PASSWORD%\"/><parm name=\"Domain\" value=\"%DOMAIN%\"/>"
    u"<parm name=\"DeviceType\" value=\"modem\"/><parm name=\"DeviceName\" value=\"%DEVICE%\"/>"
    u"<parm name=\"DeviceSpecificRAW\" value=\"%DEVCFG%\"/></characteristic></characteristic>"
    u"</wap-provisioningdoc>";

const WCHAR destination_network_id[] = u"{ADB0B001-10B5-3F39-27C6-9742E785FCD4}";

namespace {

constexpr const char *source_file = ".\\orvane_ras";
constexpr int line_no_device = 66;
constexpr int line_refused = 112;
constexpr std::u16string_view modifier_prefix = u"+CGDCONT=1,\"IP\",\"";

}  // namespace

bool connection_name_available(const WCHAR *name) { return RasValidateEntryName(nullptr, name) == 0; }

std::u16string xml_escape(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&apos;"; break;
        // A parser turns raw white space in a value into spaces; references keep it.
        case u'\t': out += u"&#9;"; break;
        case u'\n': out += u"&#10;"; break;
        case u'\r': out += u"&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

std::u16string fill_provisioning_template(const connection_request &request, std::u16string_view device_config_hex) {
    struct slot {
        std::u16string_view placeholder;
        std::u16string value;
    };
    // The order in which the placeholders are filled; each value is inserted once and never searched again.
    const slot slots[] = {
        {u"%NAME%", xml_escape(request.name)},         {u"%DESTID%", destination_network_id},
        {u"%PHONE%", xml_escape(request.phone)},       {u"%LOGIN%", xml_escape(request.user_name)},
        {u"%PASSWORD%", xml_escape(request.password)}, {u"%DOMAIN%", xml_escape(request.domain)},
        {u"%DEVICE%", xml_escape(request.device_name)}, {u"%DEVCFG%", std::u16string(device_config_hex)},
    };
    std::u16string_view rest = provisioning_template;
    std::u16string document;
    document.reserve(rest.size() + 256);
    for (const slot &s : slots) {
        std::size_t at = rest.find(s.placeholder);
        if (at == std::u16string_view::npos) continue;
        document.append(rest.substr(0, at));
        document.append(s.value);
        rest.remove_prefix(at + s.placeholder.size());
    }
    document.append(rest);
    return document;
}

void create_connection(modem_list &modems, const connection_request &request) {
    DWORD valid = RasValidateEntryName(nullptr, request.name);
    if (valid == ERROR_INVALID_NAME) throw ui_exception(get_ui_string(invalid_name));
    if (valid == ERROR_ALREADY_EXISTS) throw ui_exception(get_ui_string(name_exists));
    if (request.device_name == nullptr || request.device_name[0] == 0) {
        throw ui_exception(get_ui_string(create_failed), source_file, line_no_device);
    }
    modems.ensure_open();
    modems.restore_device_config();
    modems.set_baud_rate(115200);
    if (request.apn != nullptr && request.apn[0] != 0) {
        std::u16string modifier(modifier_prefix);
        modifier += request.apn;
        modifier += u'"';
        modems.set_dial_modifier(modifier.c_str());
    }
    std::u16string document = fill_provisioning_template(request, modems.device_config_hex());
    WCHAR *reply = nullptr;
    HRESULT hr = DMProcessConfigXML(document.c_str(), CFGFLAG_PROCESS, &reply);
    delete[] reply;
    if (hr < 0) throw ui_exception(get_ui_string(create_failed), source_file, line_refused);
}

}  // namespace orvane_cr
