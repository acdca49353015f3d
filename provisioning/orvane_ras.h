// Connection creation: the name test and the provisioning document.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace orvane_cr {

class modem_list;

struct connection_request {
    const WCHAR *name;
    const WCHAR *device_name;
    const WCHAR *apn;
    const WCHAR *user_name;
    const WCHAR *password;
    const WCHAR *domain;
    const WCHAR *phone;
};

extern const WCHAR provisioning_template[];
extern const WCHAR destination_network_id[];

void create_connection(modem_list &modems, const connection_request &request);
bool connection_name_available(const WCHAR *name);
// The document with every placeholder filled in one pass; the values are XML-escaped.
std::u16string fill_provisioning_template(const connection_request &request, std::u16string_view device_config_hex);
std::u16string xml_escape(std::u16string_view value);

}  // namespace orvane_cr
