#include "operator_presets.h"

#include "../text/data_file_path.h"
#include "xml_reader.h"

namespace orvane_cr {
namespace {

// Every "&amp;" of `value` becomes "&"; other references stay as written.
std::u16string decoded(std::u16string value) {
    for (std::size_t at = value.find(u"&amp;"); at != std::u16string::npos; at = value.find(u"&amp;", at + 1)) {
        value.erase(at + 1, 4);
    }
    return value;
}

std::u16string *field_named(operator_preset &preset, std::u16string_view name) {
    if (name == u"Name") return &preset.name;
    if (name == u"User") return &preset.user;
    if (name == u"Pwd") return &preset.password;
    if (name == u"Apn") return &preset.apn;
    if (name == u"Phone") return &preset.phone;
    return nullptr;
}

}  // namespace

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past(u"<root>")) return;
    std::u16string_view tag;
    std::u16string_view text;
    xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (tag.find(u' ') == std::u16string_view::npos) continue;  // a grouping element
        xml_reader::parse_attributes(tag, attributes);
        operator_preset preset;
        for (xml_attribute &a : attributes) {
            if (std::u16string *field = field_named(preset, a.name)) *field = decoded(std::move(a.value));
        }
        presets.push_back(std::move(preset));
    }
}

void load_operator_presets(operator_presets &presets) {
    presets.clear();
    xml_reader reader;
    std::u16string path = operators_file_path();
    if (!reader.open(path.c_str())) return;
    read_operator_presets(reader, presets);
}

operator_presets &get_operator_presets(operator_presets &presets) {
    if (presets.empty()) {
        load_operator_presets(presets);
        if (presets.empty()) presets.push_back({u"[Custom]", u"", u"", u"", u"*99***1#"});
    }
    return presets;
}

}  // namespace orvane_cr
