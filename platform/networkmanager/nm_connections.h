// The NetworkManager module's own work, which its entry points wrap; the tests call it directly.
#pragma once

#include <string>
#include <vector>

#include "config/dialup.h"

namespace orvane_nm {

// A name-based (version 5) UUID under this program's own namespace.
std::string name_based_uuid(const std::string &name);

// As orvane_platform's functions of the same purpose, which reach these through the module.
std::string keyfile(const orvane_platform::dialup_connection &c);
std::string add(const orvane_platform::dialup_connection &c);
void remove(const orvane_platform::dialup_connection &c);
std::vector<std::string> names();

}  // namespace orvane_nm
