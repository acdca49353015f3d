// Operator presets: ready-made connection settings from the operators file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane_cr {

class xml_reader;
class operator_presets;

// A preset's text: units held by the list of presets it belongs to, then a zero unit.
class preset_text : public std::u16string_view {
public:
    preset_text() : std::u16string_view(u"") {}
    const char16_t *c_str() const { return data(); }

private:
    friend class operator_presets;
    preset_text(const char16_t *units, std::size_t count) : std::u16string_view(units, count) {}
};

struct operator_preset {
    preset_text name;
    preset_text user;
    preset_text password;
    preset_text apn;
    preset_text phone;
};

// The presets in file order. Their texts live in a few large blocks of the list's own
// rather than one allocation a text, and the blocks are kept when the list is emptied.
class operator_presets {
public:
    using value_type = operator_preset;
    using const_iterator = std::vector<operator_preset>::const_iterator;

    operator_presets() = default;
    operator_presets(const operator_presets &other);
    operator_presets &operator=(const operator_presets &other);
    operator_presets(operator_presets &&) noexcept = default;
    operator_presets &operator=(operator_presets &&) noexcept = default;
    ~operator_presets() = default;

    std::size_t size() const { return list_.size(); }
    bool empty() const { return list_.empty(); }
    const operator_preset &operator[](std::size_t i) const { return list_[i]; }
    const_iterator begin() const { return list_.begin(); }
    const_iterator end() const { return list_.end(); }
    void reserve(std::size_t n) { list_.reserve(n); }
    void clear();

    // Appends a preset whose texts are copied into the list.
    void add(std::u16string_view name, std::u16string_view user, std::u16string_view password,
             std::u16string_view apn, std::u16string_view phone);

private:
    friend void read_operator_presets(xml_reader &reader, operator_presets &presets);
    static constexpr std::size_t block_units = 32 * 1024;

    // Room for `count` units and a zero unit; `kept` makes the first `used` of them a text.
    char16_t *room(std::size_t count);
    preset_text kept(std::size_t used);
    preset_text copied(std::u16string_view units);

    struct block {
        std::unique_ptr<char16_t[]> units;
        std::size_t size = 0;
    };

    std::vector<operator_preset> list_;
    std::vector<block> blocks_;
    std::size_t block_ = 0;  // the block being filled, when there is one
    std::size_t used_ = 0;   // units of it in use
};

std::u16string operators_file_path();
void load_operator_presets(operator_presets &presets);
// Reads presets from a reader already opened, as load_operator_presets does with the file.
void read_operator_presets(xml_reader &reader, operator_presets &presets);
operator_presets &get_operator_presets(operator_presets &presets);

}  // namespace orvane_cr
