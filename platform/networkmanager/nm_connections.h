// The NetworkManager module's own work, which its entry points wrap; the tests call it directly.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/nm_module.h"

namespace orvane_nm {

// A name-based (version 5) UUID under this program's own namespace.
std::string name_based_uuid(const std::string &name);

// As orvane_platform's functions of the same purpose, which reach these through the module.
std::string keyfile(const orvane_platform::dialup_connection &c);
std::string add(const orvane_platform::dialup_connection &c, const orvane_platform::service_call &limits);
std::optional<std::string> remove(const orvane_platform::dialup_connection &c, const orvane_platform::service_call &limits);
std::vector<orvane_platform::connection_ref> connections(const orvane_platform::service_call &limits);
std::string uuid(const orvane_platform::dialup_connection &c);

}  // namespace orvane_nm
