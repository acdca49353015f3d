#include "xml_reader.h"

namespace orvane_cr {

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

bool xml_reader::pass(char16_t unit) {
    std::size_t at = text_.find(unit, cursor_);
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
    attributes.clear();
    tag = tag.substr(0, tag.find(u'\0'));
    // The element's name ends at the first space. After it spaces are skipped, "=" makes the
    // token the pending name, and a double quote opens a value without emptying the token: the
    // units between "=" and the quote begin the value. A value runs to the next double quote;
    // one left open at the end of the tag is dropped.
    std::size_t space = tag.find(u' ');
    if (space == std::u16string_view::npos) return;
    std::u16string token;
    std::u16string pending;
    bool in_value = false;
    for (char16_t c : tag.substr(space + 1)) {
        if (in_value) {
            if (c == u'"') {
                attributes.push_back({pending, std::move(token)});
                token.clear();
                in_value = false;
            } else {
                token += c;
            }
        } else if (c == u'=') {
            pending = std::move(token);
            token.clear();
        } else if (c == u'"') {
            in_value = true;
        } else if (c != u' ') {
            token += c;
        }
    }
}

}  // namespace orvane_cr
