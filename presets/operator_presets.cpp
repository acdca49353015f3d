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
    const char16_t *end = v + value.length;
    const char16_t *amp = find16(v, end, u'&');
    if (amp == end) {
        // Built whole and moved in: cheaper than assigning into an empty string.
        target = std::u16string(v, end);
        return;
    }
    // Copied a run at a time up to each "&", whose "amp;" is then passed over.
    char16_t decoded[xml_string::capacity + 1];
    char16_t *out = decoded;
    while (amp != end) {
        ++amp;
        std::memcpy(out, v, static_cast<std::size_t>(amp - v) * sizeof(char16_t));
        out += amp - v;
        v = amp;
        if (end - v >= 4 && v[0] == u'a' && v[1] == u'm' && v[2] == u'p' && v[3] == u';') v += 4;
        amp = find16(v, end, u'&');
    }
    std::memcpy(out, v, static_cast<std::size_t>(end - v) * sizeof(char16_t));
    out += end - v;
    target = std::u16string(decoded, out);
}

// The field an attribute name sets, or none. The names are told apart by length and first
// unit before the whole name is compared.
std::u16string *field_named(operator_preset &preset, const xml_string &name) {
    auto is = [&name](std::u16string_view expected) {
        return std::char_traits<char16_t>::compare(name.text + 1, expected.data() + 1, expected.size() - 1) == 0;
    };
    switch (name.length) {
        case 3:
            if (name.text[0] == u'P') return is(u"Pwd") ? &preset.password : nullptr;
            if (name.text[0] == u'A') return is(u"Apn") ? &preset.apn : nullptr;
            return nullptr;
        case 4:
            if (name.text[0] == u'N') return is(u"Name") ? &preset.name : nullptr;
            if (name.text[0] == u'U') return is(u"User") ? &preset.user : nullptr;
            return nullptr;
        case 5:
            return name.text[0] == u'P' && is(u"Phone") ? &preset.phone : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past("<root>")) return;
    // Room for one preset a start tag, so that the list is not copied as it grows.
    presets.reserve(presets.size() + reader.count_units(u'<') / 2 + 1);
    xml_string tag;
    xml_string text;
    // Kept from one load to the next: a list of records this size is a large block, and
    // allocating one makes the allocator merge every small block freed before it (the
    // strings of the presets just dropped), which then costs every string built here.
    thread_local xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (!has_space(tag)) continue;
        xml_reader::parse_attributes(tag, attributes);
        operator_preset preset;  // default-initialised: no zero-filling before the strings are built
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
        if (presets.empty()) presets.push_back(operator_preset{u"[Custom]", u"", u"", u"", u"*99***1#"});
    }
    return presets;
}

}  // namespace orvane_cr
