// The configuration service's reading of a provisioning document.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection_store.h"

namespace orvane_platform {

struct document_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The CM_PPPEntries entries of a wap-provisioningdoc; throws document_error when the
// document is not one this service accepts.
std::vector<stored_entry> parse_provisioning_document(std::u16string_view document);

// Parses, then stores every entry in one transaction. Returns the HRESULT of the service.
// With [store] networkmanager = true, each entry goes into the running NetworkManager too, and
// a name NetworkManager has is taken: both or neither.
long process_provisioning_document(std::u16string_view document, std::string *error = nullptr);

// Removes the entry of that name from the store, and from NetworkManager with [store]
// networkmanager = true: both or neither. Throws store_error or dialup_error, having changed
// nothing.
struct deletion {
    bool found = false;                 // the store had the entry
    bool networkmanager_asked = false;  // NetworkManager was asked to remove its connection
    // The name that connection had there; none when NetworkManager had none of the entry.
    std::optional<std::string> networkmanager_name;
};
deletion delete_connection(const std::string &name);

}  // namespace orvane_platform
