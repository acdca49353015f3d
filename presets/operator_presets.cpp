#include "operator_presets.h"

#include "../text/data_file_path.h"
#include "xml_reader.h"

namespace orvane_cr {
namespace {

// `value` with every "&amp;" made "&"; other references stay as written.
void assign_decoded(std::u16string &field, std::u16string_view value) {
    field.clear();
    for (std::size_t amp = find_unit(value, u'&'); amp != std::u16string_view::npos; amp = find_unit(value, u'&')) {
        field.append(value.substr(0, amp + 1));
        value.remove_prefix(value.substr(amp).starts_with(u"&amp;") ? amp + 5 : amp + 1);
    }
    field.append(value);
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
    // Room for one preset a tag at once: a list grown by doubling would touch three times the
    // memory, which costs a new process more than the count does. Only a hint: a file of nothing
    // but "<" may ask for more than there is, and then the list grows as it goes.
    try {
        presets.reserve(presets.size() + reader.count_ahead(u'<'));
    } catch (const std::exception &) {
    }
    std::u16string_view tag;
    std::u16string_view text;
    xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (tag.find(u' ') == std::u16string_view::npos) continue;  // a grouping element
        xml_reader::parse_attributes(tag, attributes);
        operator_preset preset;
        for (const xml_attribute &a : attributes) {
            if (std::u16string *field = field_named(preset, a.name)) assign_decoded(*field, a.value);
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
