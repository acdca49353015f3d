// A small forward-only reader for the operators file (UTF-16LE, a subset of XML).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../text/mapped_file.h"

namespace orvane_cr {

// The first `unit` (below 0x100) in [p, end), or end, through memchr.
const char16_t *find16_long(const char16_t *p, const char16_t *end, char16_t unit);

// Four 16-bit units of `w` against the four of `units`: the high bit of each lane that holds
// an equal unit is set, and maybe of lanes above it (so the lowest set lane is the first).
inline std::uint64_t equal_lanes(std::uint64_t w, std::uint64_t units) {
    constexpr std::uint64_t ones = 0x0001000100010001u;
    constexpr std::uint64_t highs = 0x8000800080008000u;
    w ^= units;
    return (w - ones) & ~w & highs;
}

// The first `unit` (below 0x100) in [p, end), or end. The first units are looked at in
// place, eight (or four) a step, which is cheaper than a call for the short runs of a tag;
// beyond them memchr, which is faster over a long range.
inline const char16_t *find16(const char16_t *p, const char16_t *end, char16_t unit) {
    constexpr std::ptrdiff_t in_place = 256;
    const char16_t *stop = end - p > in_place ? p + in_place : end;
#if defined(__SSE2__)
    const __m128i units = _mm_set1_epi16(static_cast<short>(unit));
    for (; stop - p >= 8; p += 8) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (auto hit = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(w, units)))) {
            return p + std::countr_zero(hit) / 2;
        }
    }
#else
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t units = 0x0001000100010001u * unit;
        for (; stop - p >= 4; p += 4) {
            std::uint64_t w = 0;
            std::memcpy(&w, p, sizeof w);
            if (std::uint64_t hit = equal_lanes(w, units)) return p + std::countr_zero(hit) / 16;
        }
    }
#endif
    while (p < stop && *p != unit) ++p;
    if (p < stop || stop == end) return p;
    return find16_long(stop, end, unit);
}

struct xml_string {
    static constexpr std::int32_t capacity = 255;
    // Only the units in use and their zero unit are ever written or copied.
    char16_t text[capacity + 1];
    std::int32_t length = 0;

    xml_string() { text[0] = 0; }
    xml_string(const xml_string &other) { *this = other; }
    xml_string &operator=(const xml_string &other) {
        if (this != &other) assign(other.text, other.length);
        return *this;
    }

    void assign(const char16_t *units, std::int32_t count);
    void clear() {
        length = 0;
        text[0] = 0;
    }
};

struct xml_attribute {
    // User-provided, so that a new list entry is not zero-filled first.
    xml_attribute() {}  // NOLINT(modernize-use-equals-default)
    xml_string name;
    xml_string value;
};

using xml_attributes = std::vector<xml_attribute>;

// Units of the text read, in place.
struct xml_view {
    const char16_t *begin = nullptr;
    const char16_t *end = nullptr;
    std::int32_t length() const { return static_cast<std::int32_t>(end - begin); }
};

// The attributes of one tag, as views into the tag, or into `joined` for the few names and
// values made of several runs. Built without copying what needs no copy.
struct xml_attribute_views {
    struct item {
        xml_view name;
        xml_view value;
        bool may_hold_ampersand = false;  // false: the value surely holds no "&"
    };
    // Every value has its two quotes, so a tag holds at most half its units of them; every
    // unit of the tag is joined at most once, so `joined` never holds more than the tag.
    item items[xml_string::capacity / 2 + 1];
    std::int32_t count = 0;
    char16_t joined[xml_string::capacity];
    std::int32_t joined_length = 0;

    const item *begin() const { return items; }
    const item *end() const { return items + count; }
};

class xml_reader {
public:
    xml_reader() = default;
    ~xml_reader();
    xml_reader(const xml_reader &) = delete;
    xml_reader &operator=(const xml_reader &) = delete;

    bool open(const WCHAR *path);
    // Reads the given units in place instead of a file; they must outlive the reader's use.
    void open_units(const char16_t *units, std::int32_t count);
    void close();

    bool skip_past(const char *pattern);
    // A tag or leaf text longer than xml_string::capacity is skipped with its element,
    // so that no preset is built from a cut-off tag.
    bool next_element(xml_string &tag, xml_string &text);
    // The same, as views into the text read, valid while it is open.
    bool next_element(xml_view &tag, xml_view &text);

    static void parse_attributes(const xml_string &tag, xml_attributes &attributes);
    // Of a tag of at most xml_string::capacity units; a zero unit ends it early.
    static void parse_attributes(xml_view tag, xml_attribute_views &attributes);
    static void trim_spaces(xml_string &s);

    const char16_t *cursor() const { return cursor_; }
    std::int32_t remaining() const { return remaining_; }
    // Units from the start of the text to the cursor, or -1 when exhausted.
    std::int64_t position() const;

private:
    const char16_t *find_pattern(const char *pattern);
    const char16_t *find_unit(char16_t unit);
    void advance_to(const char16_t *p) {
        remaining_ -= static_cast<std::int32_t>(p - cursor_);
        cursor_ = p;
    }

    std::unique_ptr<mapped_file> file_;
    const char16_t *start_ = nullptr;
    const char16_t *cursor_ = nullptr;
    std::int32_t remaining_ = 0;
};

}  // namespace orvane_cr
