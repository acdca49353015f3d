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

// The units of `text` are those of the literal, without its zero unit: compared as bytes
// of a length known here, which the compiler turns into a load or two.
template <std::size_t N>
bool same_units(const char16_t *text, const char16_t (&literal)[N]) {
    return std::memcmp(text, literal, (N - 1) * sizeof(char16_t)) == 0;
}

// The field an attribute name sets, or none; the names are told apart by length first.
std::u16string *field_named(operator_preset &preset, const xml_string &name) {
    const char16_t *t = name.text;
    switch (name.length) {
        case 3:
            if (same_units(t, u"Pwd")) return &preset.password;
            return same_units(t, u"Apn") ? &preset.apn : nullptr;
        case 4:
            if (same_units(t, u"Name")) return &preset.name;
            return same_units(t, u"User") ? &preset.user : nullptr;
        case 5:
            return same_units(t, u"Phone") ? &preset.phone : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past("<root>")) return;
    // Room for one preset a start tag, so that the list is never moved as it grows.
    presets.reserve(presets.size() + reader.count_start_tags());
    xml_string tag;
    xml_string text;
    // Kept from one load to the next: a list of records this size is a large block, and
    // allocating one makes the allocator merge every small block freed before it (the
    // strings of the presets just dropped), which then costs every string built here.
    thread_local xml_attributes attributes;
    while (reader.next_element(tag, text)) {
        if (!has_space(tag)) continue;
        xml_reader::parse_attributes(tag, attributes);
        // Filled where it stays; one that cannot be finished is not left in the list.
        operator_preset &preset = presets.emplace_back();
        try {
            for (const xml_attribute &a : attributes) {
                if (std::u16string *field = field_named(preset, a.name)) assign_decoded(*field, a.value);
            }
        } catch (...) {
            presets.pop_back();
            throw;
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
