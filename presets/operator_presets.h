// Operator presets: ready-made connection settings from the operators file.
#pragma once

#include <cstddef>
#include <iterator>
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

// The presets in file order. They stand in rows of a fixed size and their texts in a few
// large blocks, both the list's own, so that the list never moves as it grows, a text costs
// no allocation of its own, and nothing needs counting first. Rows and blocks are kept when
// the list is emptied.
class operator_presets {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = operator_preset;
        using difference_type = std::ptrdiff_t;
        using pointer = const operator_preset *;
        using reference = const operator_preset &;

        const_iterator() = default;
        reference operator*() const { return (*list_)[at_]; }
        pointer operator->() const { return &(*list_)[at_]; }
        const_iterator &operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const const_iterator &other) const { return at_ == other.at_; }

    private:
        friend class operator_presets;
        const_iterator(const operator_presets *list, std::size_t at) : list_(list), at_(at) {}
        const operator_presets *list_ = nullptr;
        std::size_t at_ = 0;
    };
    using value_type = operator_preset;

    operator_presets() = default;
    operator_presets(const operator_presets &other);
    operator_presets &operator=(const operator_presets &other);
    operator_presets(operator_presets &&other) noexcept;
    operator_presets &operator=(operator_presets &&other) noexcept;
    ~operator_presets() = default;

    std::size_t size() const { return count_; }
    // The units of all names together, so that a box can make room for them at once.
    std::size_t name_units() const { return name_units_; }
    bool empty() const { return count_ == 0; }
    const operator_preset &operator[](std::size_t i) const { return rows_[i / row_size][i % row_size]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, count_); }
    void clear();

    // Appends a preset whose texts are copied into the list.
    void add(std::u16string_view name, std::u16string_view user, std::u16string_view password,
             std::u16string_view apn, std::u16string_view phone);

private:
    friend void read_operator_presets(xml_reader &reader, operator_presets &presets);
    static constexpr std::size_t row_size = 512;
    static constexpr std::size_t block_units = 32 * 1024;

    // Texts one after the other in large blocks. The names have blocks of their own, so that
    // a box filled with them reads them side by side rather than among the other texts.
    class text_blocks {
    public:
        // Room for `count` units and a zero unit; `kept` makes the first `used` of them a text.
        char16_t *room(std::size_t count);
        preset_text kept(std::size_t used);
        preset_text copied(std::u16string_view units);
        void rewind() { block_ = used_ = 0; }

    private:
        struct block {
            std::unique_ptr<char16_t[]> units;
            std::size_t size = 0;
        };
        std::vector<block> blocks_;
        std::size_t block_ = 0;  // the block being filled, when there is one
        std::size_t used_ = 0;   // units of it in use
    };

    void append(const operator_preset &preset);

    std::vector<std::unique_ptr<operator_preset[]>> rows_;
    std::size_t count_ = 0;
    std::size_t name_units_ = 0;
    text_blocks names_;
    text_blocks texts_;
};

std::u16string operators_file_path();
void load_operator_presets(operator_presets &presets);
// Reads presets from a reader already opened, as load_operator_presets does with the file.
void read_operator_presets(xml_reader &reader, operator_presets &presets);
operator_presets &get_operator_presets(operator_presets &presets);

}  // namespace orvane_cr
