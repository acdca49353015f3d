#include "operator_presets.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "../text/data_file_path.h"
#include "xml_reader.h"

namespace orvane_cr {
namespace {

// Every "&amp;" of `value` becomes "&"; a plain "&" stays as written. Returns the units written.
std::size_t decode_into(char16_t *out, xml_view value) {
    const char16_t *v = value.begin;
    const char16_t *end = value.end;
    char16_t *const start = out;
    // Copied a run at a time up to each "&", whose "amp;" is then passed over.
    for (const char16_t *amp = find16(v, end, u'&'); amp != end; amp = find16(v, end, u'&')) {
        ++amp;
        std::memcpy(out, v, static_cast<std::size_t>(amp - v) * sizeof(char16_t));
        out += amp - v;
        v = amp;
        if (end - v >= 4 && v[0] == u'a' && v[1] == u'm' && v[2] == u'p' && v[3] == u';') v += 4;
    }
    std::memcpy(out, v, static_cast<std::size_t>(end - v) * sizeof(char16_t));
    return static_cast<std::size_t>(out - start) + static_cast<std::size_t>(end - v);
}

// The units of `text` are those of the literal, without its zero unit: compared as bytes
// of a length known here, which the compiler turns into a load or two.
template <std::size_t N>
bool same_units(const char16_t *text, const char16_t (&literal)[N]) {
    return std::memcmp(text, literal, (N - 1) * sizeof(char16_t)) == 0;
}

// The field an attribute name sets, or none; the names are told apart by length first.
preset_text *field_named(operator_preset &preset, xml_view name) {
    const char16_t *t = name.begin;
    switch (name.length()) {
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

operator_presets::operator_presets(const operator_presets &other) { *this = other; }

operator_presets &operator_presets::operator=(const operator_presets &other) {
    if (this == &other) return *this;
    clear();
    for (const operator_preset &p : other) add(p.name, p.user, p.password, p.apn, p.phone);
    return *this;
}

operator_presets::operator_presets(operator_presets &&other) noexcept
    : rows_(std::move(other.rows_)),
      count_(std::exchange(other.count_, 0)),
      name_units_(std::exchange(other.name_units_, 0)),
      names_(std::exchange(other.names_, {})),
      texts_(std::exchange(other.texts_, {})) {}

operator_presets &operator_presets::operator=(operator_presets &&other) noexcept {
    if (this == &other) return *this;
    rows_ = std::exchange(other.rows_, {});
    count_ = std::exchange(other.count_, 0);
    name_units_ = std::exchange(other.name_units_, 0);
    names_ = std::exchange(other.names_, {});
    texts_ = std::exchange(other.texts_, {});
    return *this;
}

void operator_presets::clear() {
    count_ = 0;
    name_units_ = 0;
    names_.rewind();
    texts_.rewind();
}

void operator_presets::append(const operator_preset &preset) {
    if (count_ == rows_.size() * row_size) rows_.push_back(std::make_unique<operator_preset[]>(row_size));
    rows_[count_ / row_size][count_ % row_size] = preset;
    ++count_;
    name_units_ += preset.name.size();
}

char16_t *operator_presets::text_blocks::room(std::size_t count) {
    // A text never spans two blocks; the rest of a block too short for it stays unused.
    while (block_ < blocks_.size() && blocks_[block_].size - used_ <= count) {
        ++block_;
        used_ = 0;
    }
    if (block_ == blocks_.size()) {
        std::size_t size = std::max(block_units, count + 1);
        blocks_.push_back(block{std::make_unique_for_overwrite<char16_t[]>(size), size});
    }
    return blocks_[block_].units.get() + used_;
}

preset_text operator_presets::text_blocks::kept(std::size_t used) {
    char16_t *units = blocks_[block_].units.get() + used_;
    units[used] = 0;
    used_ += used + 1;
    return preset_text(units, used);
}

preset_text operator_presets::text_blocks::copied(std::u16string_view units) {
    if (units.empty()) return preset_text();
    std::memcpy(room(units.size()), units.data(), units.size() * sizeof(char16_t));
    return kept(units.size());
}

void operator_presets::add(std::u16string_view name, std::u16string_view user, std::u16string_view password,
                           std::u16string_view apn, std::u16string_view phone) {
    // Texts first, so that a failure leaves the list as it was.
    operator_preset p{names_.copied(name), texts_.copied(user), texts_.copied(password), texts_.copied(apn),
                      texts_.copied(phone)};
    append(p);
}

std::u16string operators_file_path() { return data_file_path(u".xml"); }

void read_operator_presets(xml_reader &reader, operator_presets &presets) {
    if (!reader.skip_past("<root>")) return;
    xml_view tag;
    xml_view text;
    xml_attribute_views attributes;
    while (reader.next_element(tag, text)) {
        if (find16(tag.begin, tag.end, u' ') == tag.end) continue;
        xml_reader::parse_attributes(tag, attributes);
        operator_preset preset;
        for (const auto &a : attributes) {
            if (preset_text *field = field_named(preset, a.name)) {
                operator_presets::text_blocks &to = field == &preset.name ? presets.names_ : presets.texts_;
                auto n = static_cast<std::size_t>(a.value.length());
                char16_t *out = to.room(n);
                if (a.may_hold_ampersand) {
                    n = decode_into(out, a.value);
                } else {
                    std::memcpy(out, a.value.begin, n * sizeof(char16_t));
                }
                *field = to.kept(n);
            }
        }
        presets.append(preset);
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
        if (presets.empty()) presets.add(u"[Custom]", u"", u"", u"", u"*99***1#");
    }
    return presets;
}

}  // namespace orvane_cr
