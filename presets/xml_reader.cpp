#include "xml_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace orvane_cr {

std::size_t find_unit(std::u16string_view text, char16_t unit, std::size_t from) {
    if (from >= text.size()) return std::u16string_view::npos;
    const auto *base = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t bytes = text.size() * sizeof(char16_t);
    const auto low = static_cast<unsigned char>(unit & 0xFF);
    // Where a unit's low byte stands within it in this machine's memory.
    constexpr std::size_t low_at = std::endian::native == std::endian::little ? 0 : 1;
    for (std::size_t at = from * sizeof(char16_t); at < bytes;) {
        const void *hit = std::memchr(base + at, low, bytes - at);
        if (hit == nullptr) break;
        const auto offset = static_cast<std::size_t>(static_cast<const unsigned char *>(hit) - base);
        // A unit's low byte, and the whole unit the one sought.
        if (offset % 2 == low_at && text[offset / 2] == unit) return offset / 2;
        at = offset + 1;
    }
    return std::u16string_view::npos;
}

bool xml_reader::open(const WCHAR *path) {
    close();
    file_ = std::make_unique<mapped_file>(path);
    if (!file_->is_open()) return false;
    // An odd last byte is no unit.
    open_units({reinterpret_cast<const char16_t *>(file_->data()), file_->size() / 2});
    return true;
}

void xml_reader::open_units(std::u16string_view units) {
    text_ = units;
    cursor_ = 0;
}

void xml_reader::close() {
    file_.reset();
    text_ = {};
    cursor_ = exhausted;
}

std::int64_t xml_reader::position() const { return cursor_ == exhausted ? -1 : static_cast<std::int64_t>(cursor_); }

std::size_t xml_reader::count_ahead(char16_t unit) const {
    std::size_t count = 0;
    for (std::size_t at = find_unit(text_, unit, cursor_); at != std::u16string_view::npos; at = find_unit(text_, unit, at + 1)) {
        ++count;
    }
    return count;
}

bool xml_reader::pass(char16_t unit) {
    std::size_t at = find_unit(text_, unit, cursor_);
    cursor_ = at == std::u16string_view::npos ? exhausted : at + 1;
    return cursor_ != exhausted;
}

bool xml_reader::skip_past(std::u16string_view pattern) {
    if (cursor_ == exhausted) return false;
    std::size_t at = text_.find(pattern, cursor_);
    cursor_ = at == std::u16string_view::npos ? exhausted : at + pattern.size();
    return cursor_ != exhausted;
}

std::u16string_view xml_reader::trim_spaces(std::u16string_view s) {
    std::size_t begin = s.find_first_not_of(u' ');
    if (begin == std::u16string_view::npos) return s.substr(s.size());
    return s.substr(begin, s.find_last_not_of(u' ') + 1 - begin);
}

bool xml_reader::next_element(std::u16string_view &tag, std::u16string_view &text) {
    while (cursor_ != exhausted) {
        if (!pass(u'<')) return false;
        const std::size_t tag_begin = cursor_;
        if (tag_begin < text_.size() && text_[tag_begin] == u'/') {
            cursor_ = tag_begin - 1;  // an end tag: stay before it
            return false;
        }
        if (!pass(u'>')) return false;
        const std::size_t tag_end = cursor_ - 1;
        const bool tag_too_long = tag_end - tag_begin > text_capacity;
        if (tag_end > tag_begin && text_[tag_end - 1] == u'/') {
            if (tag_end - 1 - tag_begin > text_capacity) continue;
            tag = trim_spaces(text_.substr(tag_begin, tag_end - 1 - tag_begin));
            text = {};
            return true;
        }
        const std::size_t after_tag = cursor_;
        if (!pass(u'<')) return false;
        if (cursor_ < text_.size() && text_[cursor_] == u'/') {
            const std::size_t text_end = cursor_ - 1;
            if (!pass(u'>')) return false;
            if (tag_too_long || text_end - after_tag > text_capacity) continue;
            tag = trim_spaces(text_.substr(tag_begin, tag_end - tag_begin));
            text = trim_spaces(text_.substr(after_tag, text_end - after_tag));
            return true;
        }
        cursor_ = after_tag;  // a child follows: it is the next element
        if (tag_too_long) continue;
        tag = trim_spaces(text_.substr(tag_begin, tag_end - tag_begin));
        text = {};
        return true;
    }
    return false;
}

void xml_reader::parse_attributes(std::u16string_view tag, xml_attributes &attributes) {
    std::size_t count = 0;
    // The element's name ends at the first space. After it spaces are skipped, "=" makes the
    // token the pending name, and a double quote opens a value without emptying the token: the
    // units between "=" and the quote begin the value. A value runs to the next double quote;
    // one left open at the end of the tag is dropped. A zero unit ends the tag.
    tag = tag.substr(0, std::min(tag.size(), static_cast<std::size_t>(
                                                  std::find(tag.begin(), tag.end(), u'\0') - tag.begin())));
    std::size_t at = tag.find(u' ');
    std::u16string token;
    std::u16string pending;
    while (at < tag.size()) {
        const char16_t c = tag[at];
        if (c == u' ') {
            ++at;
        } else if (c == u'=') {
            pending = token;
            token.clear();
            ++at;
        } else if (c == u'"') {
            const std::size_t begin = ++at;
            at = find_unit(tag, u'"', at);
            if (at == std::u16string_view::npos) break;
            if (count == attributes.size()) attributes.emplace_back();
            attributes[count].name = pending;
            attributes[count].value.assign(token).append(tag.substr(begin, at - begin));
            ++count;
            token.clear();
            ++at;
        } else {
            const std::size_t begin = at;
            while (at < tag.size() && tag[at] != u' ' && tag[at] != u'=' && tag[at] != u'"') ++at;
            token.append(tag.substr(begin, at - begin));
        }
    }
    attributes.resize(count);
}

}  // namespace orvane_cr
