#include "operator_presets.h"

#include <algorithm>

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

std::vector<std::u16string> split_at_spaces(std::u16string_view value) {
    std::vector<std::u16string> out;
    std::size_t at = 0;
    while (at < value.size()) {
        std::size_t end = value.find(u' ', at);
        if (end == std::u16string_view::npos) end = value.size();
        if (end > at) out.emplace_back(value.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

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
            if (std::u16string *field = field_named(preset, a.name)) {
                assign_decoded(*field, a.value);
            } else if (a.name == u"Networks") {
                preset.networks = split_at_spaces(a.value);
            } else if (a.name == u"Primary") {
                preset.primary = a.value == u"1";
            }
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
        if (presets.empty()) presets.push_back({u"[Custom]", u"", u"", u"", u"*99***1#", {}, false});
    }
    return presets;
}

std::size_t preset_for_sim(const operator_presets &presets, std::u16string_view operator_id,
                           const std::vector<std::size_t> &named_as_provider) {
    std::vector<std::size_t> serving;
    for (std::size_t i = 0; i < presets.size(); ++i) {
        const auto &nets = presets[i].networks;
        if (std::find(nets.begin(), nets.end(), operator_id) != nets.end()) serving.push_back(i);
    }
    if (serving.size() > 1) {
        std::vector<std::size_t> named;
        for (std::size_t i : serving) {
            if (std::find(named_as_provider.begin(), named_as_provider.end(), i) != named_as_provider.end()) named.push_back(i);
        }
        if (!named.empty()) serving = std::move(named);
    }
    if (serving.size() > 1) {
        std::vector<std::size_t> primary;
        for (std::size_t i : serving) {
            if (presets[i].primary) primary.push_back(i);
        }
        serving = std::move(primary);
    }
    return serving.size() == 1 ? serving.front() : std::u16string_view::npos;
}

}  // namespace orvane_cr
