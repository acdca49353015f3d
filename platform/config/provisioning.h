// The configuration service's reading of a provisioning document.
#pragma once

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
long process_provisioning_document(std::u16string_view document, std::string *error = nullptr);

}  // namespace orvane_platform
