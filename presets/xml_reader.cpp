#include "xml_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace orvane_cr {

// The first `unit` (below 0x100) in [p, end), or end: memchr finds its low byte.
const char16_t *find16_long(const char16_t *p, const char16_t *end, char16_t unit) {
    const auto *base = reinterpret_cast<const unsigned char *>(p);
    const auto *bytes = base;
    const auto *stop = reinterpret_cast<const unsigned char *>(end);
    while (bytes < stop) {
        const auto *hit =
            static_cast<const unsigned char *>(std::memchr(bytes, unit, static_cast<std::size_t>(stop - bytes)));
        if (hit == nullptr) return end;
        auto offset = static_cast<std::size_t>(hit - base);
        if (offset % 2 == 0 && p[offset / 2] == unit) return p + offset / 2;
        bytes = hit + 1;
    }
    return end;
}

void xml_string::assign(const char16_t *units, std::int32_t count) {
    if (count > capacity) count = capacity;
    if (count < 0) count = 0;
    // An empty run may come without units at all (a name never given).
    if (count > 0) std::memmove(text, units, static_cast<std::size_t>(count) * sizeof(char16_t));
    length = count;
    text[count] = 0;
}

xml_reader::~xml_reader() { close(); }

bool xml_reader::open(const WCHAR *path) {
    close();
    file_ = std::make_unique<mapped_file>(path);
    if (!file_->is_open()) return false;
    start_ = cursor_ = reinterpret_cast<const char16_t *>(file_->data());
    remaining_ = static_cast<std::int32_t>(file_->size() / 2);
    return true;
}

void xml_reader::open_units(const char16_t *units, std::int32_t count) {
    close();
    start_ = cursor_ = units;
    remaining_ = count;
}

void xml_reader::close() {
    file_.reset();
    start_ = cursor_ = nullptr;
    remaining_ = 0;
}

std::int64_t xml_reader::position() const { return cursor_ == nullptr ? -1 : cursor_ - start_; }

const char16_t *xml_reader::find_unit(char16_t unit) {
    if (remaining_ <= 0) return nullptr;
    const char16_t *end = cursor_ + remaining_;
    const char16_t *p = cursor_;
    p = unit < 0x100 ? find16(p, end, unit) : std::find(p, end, unit);
    if (p == end) return nullptr;
    ++p;
    advance_to(p);
    return p;
}

const char16_t *xml_reader::find_pattern(const char *pattern) {
    auto n = static_cast<std::int32_t>(std::strlen(pattern));
    if (n == 1) return find_unit(static_cast<unsigned char>(pattern[0]));
    if (remaining_ <= 0 || n == 0 || n > remaining_) return nullptr;
    const char16_t *end = cursor_ + remaining_;
    auto first = static_cast<char16_t>(static_cast<unsigned char>(pattern[0]));
    for (const char16_t *p = cursor_; end - p >= n; ++p) {
        p = std::find(p, end - n + 1, first);
        if (p == end - n + 1) break;
        std::int32_t k = 1;
        while (k < n && p[k] == static_cast<unsigned char>(pattern[k])) ++k;
        if (k == n) {
            advance_to(p + n);
            return cursor_;
        }
    }
    return nullptr;
}

bool xml_reader::skip_past(const char *pattern) {
    if (cursor_ == nullptr) return false;
    if (find_pattern(pattern) == nullptr) {
        cursor_ = nullptr;
        return false;
    }
    return true;
}

namespace {

xml_view trimmed(const char16_t *begin, const char16_t *end) {
    while (end > begin && end[-1] == u' ') --end;
    while (begin < end && *begin == u' ') ++begin;
    return xml_view{begin, end};
}

}  // namespace

bool xml_reader::next_element(xml_string &tag, xml_string &text) {
    xml_view t;
    xml_view x;
    if (!next_element(t, x)) return false;
    tag.assign(t.begin, t.length());
    // An element without text has no units to copy.
    if (x.begin == nullptr) {
        text.clear();
    } else {
        text.assign(x.begin, x.length());
    }
    return true;
}

bool xml_reader::next_element(xml_view &tag, xml_view &text) {
    for (;;) {
        if (cursor_ == nullptr) return false;
        const char16_t *open = find_unit(u'<');
        if (open == nullptr) {
            cursor_ = nullptr;
            return false;
        }
        if (remaining_ > 0 && *open == u'/') {
            advance_to(open - 1);  // stay before the end tag
            return false;
        }
        const char16_t *close = find_unit(u'>');
        if (close == nullptr) {
            cursor_ = nullptr;
            return false;
        }
        const char16_t *tag_begin = open;
        const char16_t *tag_end = close - 1;  // the ">"
        bool too_long = tag_end - tag_begin > xml_string::capacity;
        if (tag_end > tag_begin && tag_end[-1] == u'/') {
            if (too_long && tag_end - 1 - tag_begin > xml_string::capacity) continue;
            tag = trimmed(tag_begin, tag_end - 1);
            text = xml_view{};
            return true;
        }
        const char16_t *after_tag = cursor_;
        const char16_t *next = find_unit(u'<');
        if (next == nullptr) {
            cursor_ = nullptr;
            return false;
        }
        if (remaining_ > 0 && *next == u'/') {
            const char16_t *text_end = next - 1;
            bool text_too_long = text_end - after_tag > xml_string::capacity;
            if (find_unit(u'>') == nullptr) {
                cursor_ = nullptr;
                return false;
            }
            if (too_long || text_too_long) continue;
            tag = trimmed(tag_begin, tag_end);
            text = trimmed(after_tag, text_end);
            return true;
        }
        remaining_ += static_cast<std::int32_t>(cursor_ - after_tag);
        cursor_ = after_tag;
        if (too_long) continue;
        tag = trimmed(tag_begin, tag_end);
        text = xml_view{};
        return true;
    }
}

void xml_reader::trim_spaces(xml_string &s) {
    std::int32_t end = s.length;
    while (end > 0 && s.text[end - 1] == u' ') --end;
    std::int32_t begin = 0;
    while (begin < end && s.text[begin] == u' ') ++begin;
    if (begin > 0) std::memmove(s.text, s.text + begin, static_cast<std::size_t>(end - begin) * sizeof(char16_t));
    s.length = end - begin;
    s.text[s.length] = 0;
}

namespace {

// The first double quote or zero unit in [p, end), or end; `ampersand` is set when an "&"
// stands before it. Eight (or four) units are looked at a step.
const char16_t *quote_or_zero(const char16_t *p, const char16_t *end, bool &ampersand) {
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi16(u'"');
    const __m128i amps = _mm_set1_epi16(u'&');
    for (; end - p >= 8; p += 8) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        auto stop = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(w, quotes), _mm_cmpeq_epi16(w, _mm_setzero_si128()))));
        auto amp = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(w, amps)));
        if (stop != 0) {
            ampersand = ampersand || (amp & ((1u << std::countr_zero(stop)) - 1)) != 0;
            return p + std::countr_zero(stop) / 2;
        }
        ampersand = ampersand || amp != 0;
    }
#else
    ampersand = true;  // not looked for here: the value is searched again when it is used
    if constexpr (std::endian::native == std::endian::little) {
        for (; end - p >= 4; p += 4) {
            std::uint64_t w = 0;
            std::memcpy(&w, p, sizeof w);
            if (std::uint64_t hit = equal_lanes(w, 0) | equal_lanes(w, 0x0022002200220022u)) {
                p += std::countr_zero(hit) / 16;
                break;
            }
        }
    }
#endif
    for (; p < end && *p != u'"' && *p != 0; ++p) ampersand = ampersand || *p == u'&';
    return p;
}

// `run` after `token`, in `out.joined`: the token is already there when it was joined last.
xml_view join(xml_attribute_views &out, xml_view token, xml_view run) {
    char16_t *tail = out.joined + out.joined_length;
    if (out.joined_length == 0 || token.end != tail) {
        std::memcpy(tail, token.begin, static_cast<std::size_t>(token.length()) * sizeof(char16_t));
        out.joined_length += token.length();
        token = xml_view{tail, tail + token.length()};
    }
    std::memcpy(out.joined + out.joined_length, run.begin, static_cast<std::size_t>(run.length()) * sizeof(char16_t));
    out.joined_length += run.length();
    return xml_view{token.begin, out.joined + out.joined_length};
}

}  // namespace

void xml_reader::parse_attributes(const xml_string &tag, xml_attributes &attributes) {
    attributes.clear();
    const std::int32_t length = std::clamp(tag.length, 0, xml_string::capacity);
    xml_attribute_views views;
    parse_attributes(xml_view{tag.text, tag.text + length}, views);
    for (const auto &v : views) {
        xml_attribute &a = attributes.emplace_back();
        a.name.assign(v.name.begin, v.name.length());
        a.value.assign(v.value.begin, v.value.length());
    }
}

void xml_reader::parse_attributes(xml_view tag, xml_attribute_views &out) {
    out.count = 0;
    out.joined_length = 0;
    if (tag.length() > xml_string::capacity) tag.end = tag.begin + xml_string::capacity;
    // The rules of a unit-by-unit scan, taken a run at a time: the element's name is passed
    // over up to the first space; between attributes spaces are skipped, "=" makes the token
    // the pending name and a double quote opens a value without emptying the token; a value
    // runs to the next double quote. A zero unit ends the tag.
    const char16_t *p = tag.begin;
    const char16_t *const end = tag.end;
    while (p < end && *p != u' ') {
        if (*p == 0) return;
        ++p;
    }
    if (p == end) return;
    ++p;
    // An empty token or name points at no unit: a name never given is an empty one.
    xml_view token;
    xml_view pending;
    while (p < end) {
        char16_t c = *p;
        if (c == u' ') {
            ++p;
        } else if (c == 0) {
            return;
        } else if (c == u'=') {
            pending = token;
            token = xml_view{};
            ++p;
        } else if (c == u'"') {
            const char16_t *value = ++p;
            bool ampersand = false;
            p = quote_or_zero(p, end, ampersand);
            if (p == end || *p == 0) return;  // an unclosed value is dropped
            xml_view run{value, p};
            // The value is what the token held before the quote, then the quoted units.
            if (token.length() > 0) {
                out.items[out.count++] = {pending, join(out, token, run), true};
            } else {
                out.items[out.count++] = {pending, run, ampersand};
            }
            token = xml_view{};
            ++p;
        } else {
            const char16_t *run = p;
            do {
                ++p;
            } while (p < end && (c = *p) != u' ' && c != u'=' && c != u'"' && c != 0);
            token = token.length() == 0 ? xml_view{run, p} : join(out, token, xml_view{run, p});
        }
    }
}

}  // namespace orvane_cr
