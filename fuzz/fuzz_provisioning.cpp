// The configuration service's reading of a document, over arbitrary UTF-16 text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/provisioning.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::u16string doc(size / 2, u'\0');
    if (!doc.empty()) std::memcpy(doc.data(), data, doc.size() * 2);
    try {
        auto entries = orvane_platform::parse_provisioning_document(doc);
        if (entries.empty()) __builtin_trap();  // accepted documents hold entries
    } catch (const orvane_platform::document_error &) {
    }
    return 0;
}
