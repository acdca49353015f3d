#include "operator_presets.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "../text/data_file_path.h"
#include "xml_reader.h"

namespace orvane_cr {
namespace {

bool has_space(const xml_string &s) { return find16(s.text, s.text + s.length, u' ') != s.text + s.length; }

// Every "&amp;" becomes "&"; a plain "&" stays as written. One allocation at most.
void assign_decoded(std::u16string &target, const xml_string &value) {
    const char16_t *v = value.text;
    const std::int32_t n = value.length;
    if (find16(v, v + n, u'&') == v + n) {
        // Built whole and moved in: cheaper than assigning into an empty string.
        target = std::u16string(v, static_cast<std::size_t>(n));
        return;
    }
    char16_t decoded[xml_string::capacity + 1];
    std::int32_t out = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        decoded[out++] = v[i];
        if (v[i] == u'&' && n - i >= 5 && v[i + 1] == u'a' && v[i + 2] == u'm' && v[i + 3] == u'p' && v[i + 4] == u';') {
            i += 4;
        }
    }
    target = std::u16string(decoded, static_cast<std::size_t>(out));
}

template <std::size_t N>
bool name_is(const xml_string &name, const char16_t (&expected)[N]) {
    // The literal's length is known here, so no length is counted at run time.
    return name.length == static_cast<std::int32_t>(N - 1) &&
           std::char_traits<char16_t>::compare(name.text, expected, N - 1) == 0;
}

}  // namespace

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past("<root>")) return;
    // Room for one preset a start tag, so that the list is not copied as it grows.
    presets.reserve(presets.size() + reader.count_units(u'<') / 2 + 1);
    xml_string tag;
    xml_string text;
    xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (!has_space(tag)) continue;
        xml_reader::parse_attributes(tag, attributes);
        operator_preset preset;  // default-initialised: no zero-filling before the strings are built
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
        if (presets.empty()) presets.push_back(operator_preset{u"[Custom]", u"", u"", u"", u"*99***1#"});
    }
    return presets;
}

}  // namespace orvane_cr
