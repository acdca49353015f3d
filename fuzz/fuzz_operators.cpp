// The XML reader and the operators loader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "presets/operator_presets.h"
#include "presets/xml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An exact-size heap copy, so that any read past the end is caught.
    auto *units = new char16_t[size / 2];
    std::memcpy(units, data, (size / 2) * 2);
    const std::u16string_view text(units, size / 2);
    orvane_cr::xml_reader reader;
    reader.open_units(text);
    orvane_cr::operator_presets presets;
    orvane_cr::read_operator_presets(reader, presets);
    reader.open_units(text);
    std::u16string_view tag;
    std::u16string_view element_text;
    orvane_cr::xml_attributes attributes;
    while (reader.next_element(tag, element_text)) {
        if (tag.size() > orvane_cr::xml_reader::text_capacity || element_text.size() > orvane_cr::xml_reader::text_capacity) {
            __builtin_trap();
        }
        orvane_cr::xml_reader::parse_attributes(tag, attributes);
    }
    delete[] units;
    return 0;
}
