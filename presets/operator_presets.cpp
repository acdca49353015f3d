#include "operator_presets.h"

#include <cstring>
#include <string_view>

#include "../text/data_file_path.h"
#include "xml_reader.h"

namespace orvane_cr {
namespace {

bool has_space(const xml_string &s) {
    return std::char_traits<char16_t>::find(s.text, static_cast<std::size_t>(s.length), u' ') != nullptr;
}

// Every "&amp;" becomes "&"; a plain "&" stays as written.
void assign_decoded(std::u16string &target, const xml_string &value) {
    std::u16string_view v(value.text, static_cast<std::size_t>(value.length));
    constexpr std::u16string_view amp = u"&amp;";
    std::size_t at = v.find(amp);
    if (at == std::u16string_view::npos) {
        target.assign(v);
        return;
    }
    target.clear();
    std::size_t from = 0;
    while (at != std::u16string_view::npos) {
        target.append(v.substr(from, at - from));
        target += u'&';
        from = at + amp.size();
        at = v.find(amp, from);
    }
    target.append(v.substr(from));
}

bool name_is(const xml_string &name, std::u16string_view expected) {
    return std::u16string_view(name.text, static_cast<std::size_t>(name.length)) == expected;
}

}  // namespace

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past("<root>")) return;
    xml_string tag;
    xml_string text;
    xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (!has_space(tag)) continue;
        xml_reader::parse_attributes(tag, attributes);
        operator_preset &preset = presets.emplace_back();
        for (const xml_attribute &a : attributes) {
            std::u16string *field = nullptr;
            if (name_is(a.name, u"Name")) {
                field = &preset.name;
            } else if (name_is(a.name, u"User")) {
                field = &preset.user;
            } else if (name_is(a.name, u"Pwd")) {
                field = &preset.password;
            } else if (name_is(a.name, u"Apn")) {
                field = &preset.apn;
            } else if (name_is(a.name, u"Phone")) {
                field = &preset.phone;
            }
            if (field != nullptr) assign_decoded(*field, a.value);
        }
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
        if (presets.empty()) presets.push_back(operator_preset{u"[Custom]", u"", u"", u"", u"*99***1#"});
    }
    return presets;
}

}  // namespace orvane_cr
