#include "xml_reader.h"

#include <algorithm>
#include <cstring>

namespace orvane_cr {

void xml_string::assign(const char16_t *units, std::int32_t count) {
    if (count > capacity) count = capacity;
    if (count < 0) count = 0;
    std::copy(units, units + count, text);
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
    const char16_t *p = std::find(cursor_, end, unit);
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

bool xml_reader::next_element(xml_string &tag, xml_string &text) {
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
            tag.assign(tag_begin, static_cast<std::int32_t>(tag_end - 1 - tag_begin));
            trim_spaces(tag);
            text.clear();
            return true;
        }
        if (!too_long) {
            tag.assign(tag_begin, static_cast<std::int32_t>(tag_end - tag_begin));
            trim_spaces(tag);
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
            text.assign(after_tag, static_cast<std::int32_t>(text_end - after_tag));
            trim_spaces(text);
            return true;
        }
        remaining_ += static_cast<std::int32_t>(cursor_ - after_tag);
        cursor_ = after_tag;
        if (too_long) continue;
        text.clear();
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

void xml_reader::parse_attributes(const xml_string &tag, xml_attributes &attributes) {
    attributes.clear();
    enum class state { element_name, between, in_value } st = state::element_name;
    xml_string token;
    xml_string pending;
    auto append = [&token](char16_t c) {
        // A tag holds at most capacity units, so the token cannot overflow.
        token.text[token.length++] = c;
        token.text[token.length] = 0;
    };
    for (std::int32_t i = 0; i < tag.length && tag.text[i] != 0; ++i) {
        char16_t c = tag.text[i];
        switch (st) {
        case state::element_name:
            if (c == u' ') {
                token.clear();
                st = state::between;
            } else if (c != u'"' && c != u'=') {
                append(c);
            }
            break;
        case state::between:
            if (c == u' ') {
            } else if (c == u'=') {
                pending = token;
                token.clear();
            } else if (c == u'"') {
                st = state::in_value;
            } else {
                append(c);
            }
            break;
        case state::in_value:
            if (c == u'"') {
                attributes.push_back(xml_attribute{pending, token});
                token.clear();
                st = state::between;
            } else {
                append(c);
            }
            break;
        }
    }
}

}  // namespace orvane_cr
