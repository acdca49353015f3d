#include "presets/xml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

std::u16string str(const xml_string &s) { return std::u16string(s.text, static_cast<std::size_t>(s.length)); }

struct element {
    std::u16string tag;
    std::u16string text;
    bool operator==(const element &) const = default;
};

// Every element the reader delivers after "<root>" (or from the start).
std::vector<element> read_all(xml_reader &r) {
    std::vector<element> out;
    xml_string tag;
    xml_string text;
    while (r.next_element(tag, text)) out.push_back({str(tag), str(text)});
    return out;
}

std::vector<element> read_text(const std::u16string &doc) {
    xml_reader r;
    r.open_units(doc.data(), static_cast<std::int32_t>(doc.size()));
    return read_all(r);
}

std::vector<std::pair<std::u16string, std::u16string>> attrs(const std::u16string &tag_text) {
    xml_string tag;
    tag.assign(tag_text.data(), static_cast<std::int32_t>(tag_text.size()));
    xml_attributes list(3);  // emptied first
    xml_reader::parse_attributes(tag, list);
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (const auto &a : list) out.emplace_back(str(a.name), str(a.value));
    return out;
}

using pairs = std::vector<std::pair<std::u16string, std::u16string>>;

// The splitting table taken literally, one unit and one state at a time.
pairs model_attrs(const std::u16string &tag_text) {
    enum class state { element_name, between, in_value } s = state::element_name;
    std::u16string token;
    std::u16string pending;
    pairs out;
    for (char16_t c : tag_text) {
        if (c == 0) break;
        switch (s) {
            case state::element_name:
                if (c == u' ') {
                    token.clear();
                    s = state::between;
                } else if (c != u'"' && c != u'=') {
                    token += c;
                }
                break;
            case state::between:
                if (c == u'=') {
                    pending = token;
                    token.clear();
                } else if (c == u'"') {
                    s = state::in_value;
                } else if (c != u' ') {
                    token += c;
                }
                break;
            case state::in_value:
                if (c == u'"') {
                    out.emplace_back(pending, token);
                    token.clear();
                    s = state::between;
                } else {
                    token += c;
                }
                break;
        }
    }
    return out;
}

}  // namespace

TEST(XmlReader, OpensMappedFilesAndRefusesEmptyOrMissing) {
    temp_dir dir;
    write_utf16(dir / "a.xml", u"<root>", bom::with);
    xml_reader r;
    ASSERT_TRUE(r.open(wide(dir / "a.xml").c_str()));
    EXPECT_TRUE(r.skip_past("<root>"));
    EXPECT_EQ(r.remaining(), 0);
    xml_string tag;
    xml_string text;
    EXPECT_FALSE(r.next_element(tag, text));
    EXPECT_FALSE(r.skip_past("<"));
    write_bytes(dir / "empty.xml", "");
    EXPECT_FALSE(r.open(wide(dir / "empty.xml").c_str()));
    EXPECT_FALSE(r.open(wide(dir / "missing.xml").c_str()));
    EXPECT_FALSE(r.skip_past("<"));
    // UTF-8 never matches a pattern of 16-bit units.
    write_bytes(dir / "u8.xml", "<root><a b=\"c\"/></root>");
    ASSERT_TRUE(r.open(wide(dir / "u8.xml").c_str()));
    EXPECT_FALSE(r.skip_past("<root>"));
}

TEST(XmlReader, ElementKinds) {
    EXPECT_EQ(read_text(u"<a x=\"1\" /><b/><c></c><d> t e x t </d>"),
              (std::vector<element>{{u"a x=\"1\"", u""}, {u"b", u""}, {u"c", u""}, {u"d", u"t e x t"}}));
    // Text before a child is not delivered; the child comes next; an end tag stops.
    EXPECT_EQ(read_text(u"<p>words<q/></p><r/>"), (std::vector<element>{{u"p", u""}, {u"q", u""}}));
    // Ending with an empty-element tag whose ">" is the last unit.
    EXPECT_EQ(read_text(u"<a/>"), (std::vector<element>{{u"a", u""}}));
    // A start tag with nothing after it is not delivered.
    EXPECT_EQ(read_text(u"<a/><b>"), (std::vector<element>{{u"a", u""}}));
    // Mismatched end tags are accepted; tabs are not trimmed.
    EXPECT_EQ(read_text(u"<a>\tx </b><c/>"), (std::vector<element>{{u"a", u"\tx"}, {u"c", u""}}));
    // Comments and instructions are tags ending at their first ">".
    EXPECT_EQ(read_text(u"<!-- a > b --><?x?><e/>"),
              (std::vector<element>{{u"!-- a", u""}, {u"?x?", u""}, {u"e", u""}}));
    // A ">" in a value ends the tag there; a "<" does not.
    EXPECT_EQ(read_text(u"<a v=\"x>y\"/><e/>").at(0).tag, u"a v=\"x");
    EXPECT_EQ(read_text(u"<a v=\"x<y\"/>").at(0).tag, u"a v=\"x<y\"");
}

TEST(XmlReader, EndTagStaysUnread) {
    std::u16string doc = u"<a/></g><b/>";
    xml_reader r;
    r.open_units(doc.data(), static_cast<std::int32_t>(doc.size()));
    xml_string tag;
    xml_string text;
    EXPECT_TRUE(r.next_element(tag, text));
    EXPECT_FALSE(r.next_element(tag, text));
    EXPECT_EQ(r.position(), 4);
    EXPECT_EQ(r.remaining(), 8);
    EXPECT_FALSE(r.next_element(tag, text));
    EXPECT_EQ(r.position(), 4);
}

TEST(XmlReader, TagsOverTheLimitAreSkippedWithTheirElement) {
    std::u16string at_limit(255, u'a');
    std::u16string over(256, u'b');
    EXPECT_EQ(read_text(u"<" + at_limit + u"><" + over + u"/><c/>"),
              (std::vector<element>{{at_limit, u""}, {u"c", u""}}));
    // An empty-element tag of 255 units between "<" and "/>".
    EXPECT_EQ(read_text(u"<" + at_limit + u"/>").at(0).tag, at_limit);
    EXPECT_EQ(read_text(u"<" + over + u"/>").size(), 0u);
    // Leaf texts: 255 fit, 256 skip the leaf and its end tag.
    EXPECT_EQ(read_text(u"<x>" + at_limit + u"</x><y>" + over + u"</y><z/>"),
              (std::vector<element>{{u"x", at_limit}, {u"z", u""}}));
    // An over-long start tag with a child: the child is read next.
    EXPECT_EQ(read_text(u"<" + over + u"><k/>"), (std::vector<element>{{u"k", u""}}));
}

TEST(XmlReader, SkipPastFindsOccurrencesThatEndAtTheLastUnit) {
    std::u16string doc = u"xx<roo<root>";
    xml_reader r;
    r.open_units(doc.data(), static_cast<std::int32_t>(doc.size()));
    EXPECT_TRUE(r.skip_past("<root>"));
    EXPECT_EQ(r.remaining(), 0);
    std::u16string partial = u"<roo";
    r.open_units(partial.data(), 4);
    EXPECT_FALSE(r.skip_past("<root>"));
    EXPECT_EQ(r.cursor(), nullptr);
}

TEST(XmlReader, TrimSpacesOnlyDropsSpaces) {
    xml_string s;
    std::u16string t = u"  \ta b\r  ";
    s.assign(t.data(), static_cast<std::int32_t>(t.size()));
    xml_reader::trim_spaces(s);
    EXPECT_EQ(str(s), u"\ta b\r");
    EXPECT_EQ(s.text[s.length], 0);
    s.assign(u"   ", 3);
    xml_reader::trim_spaces(s);
    EXPECT_EQ(s.length, 0);
}

TEST(XmlAttributes, SplittingRules) {
    using list = std::vector<std::pair<std::u16string, std::u16string>>;
    EXPECT_EQ(attrs(u"op Name=\"A B\" Apn = \"x=y\""), (list{{u"Name", u"A B"}, {u"Apn", u"x=y"}}));
    EXPECT_EQ(attrs(u"op"), list{});
    // Units between "=" and the quote start the value; a nameless value takes the previous name.
    EXPECT_EQ(attrs(u"op a=z\"v\" \"w\""), (list{{u"a", u"zv"}, {u"a", u"w"}}));
    // An unclosed value is dropped; single quotes are ordinary units.
    EXPECT_EQ(attrs(u"op a=\"1\" b=\"2"), (list{{u"a", u"1"}}));
    EXPECT_EQ(attrs(u"op a='1' b=\"2\""), (list{{u"'1'b", u"2"}}));
    // A tab becomes part of the next name.
    EXPECT_EQ(attrs(u"op\ta=\"1\" b=\"2\""), (list{{u"b", u"2"}}));
}

TEST(XmlAttributes, AgreeWithTheUnitByUnitRulesOnRandomTags) {
    // Few distinct units, so that every state meets every kind of unit often.
    const std::u16string alphabet = u"  ==\"\"ab\t'\u00e9\u20ac";
    std::mt19937 random(20261208);
    for (int round = 0; round < 20000; ++round) {
        std::u16string tag_text;
        auto length = random() % 40;
        for (unsigned i = 0; i < length; ++i) tag_text += alphabet[random() % alphabet.size()];
        if (round % 50 == 0) tag_text.insert(random() % (tag_text.size() + 1), 1, u'\0');
        ASSERT_EQ(attrs(tag_text), model_attrs(tag_text)) << "round " << round;
    }
    // Long joined tokens and values near the capacity.
    std::u16string name_runs = u"op";
    while (name_runs.size() < 200) name_runs += u" n";
    name_runs += u"=\"" + std::u16string(50, u'v') + u"\"";
    EXPECT_EQ(attrs(name_runs), model_attrs(name_runs));
    std::u16string prefix_runs = u"op a=" + std::u16string(100, u'p') + u" " + std::u16string(100, u'q') + u"\"v\"";
    EXPECT_EQ(attrs(prefix_runs), model_attrs(prefix_runs));
}

TEST(XmlAttributes, ReadOnlyUpToTheZeroUnitWhateverTheLength) {
    const std::u16string two = u"op a=\"1\" b=\"2\"";
    xml_string tag;
    tag.assign(two.data(), static_cast<std::int32_t>(two.size()));
    tag.text[9] = 0;  // a zero unit inside the stated length ends the scan there
    xml_attributes list;
    xml_reader::parse_attributes(tag, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(str(list[0].value), u"1");
    // A length set by hand without its zero unit is read no further than the length: the
    // quote just past it would close a third value.
    const std::u16string three = u"op a=\"1\" b=\"2\" c=\"3";
    tag.assign(three.data(), static_cast<std::int32_t>(three.size()));
    tag.text[tag.length] = u'"';
    tag.text[tag.length + 1] = 0;
    xml_reader::parse_attributes(tag, list);
    EXPECT_EQ(list.size(), 2u);
}

TEST(XmlReader, Find16AgreesWithAPlainSearch) {
    // Every length up to past the short-range limit, the unit at every place or nowhere,
    // among units that differ from it only in their high byte.
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t at = 0; at <= n; ++at) {
            std::u16string s(n, u'\u2026');
            for (std::size_t i = 0; i < n; i += 3) s[i] = u'\u0100' + u'&';
            if (at < n) s[at] = u'&';
            if (at + 1 < n) s[at + 1] = u'&';
            const char16_t *begin = s.data();
            const char16_t *end = begin + n;
            ASSERT_EQ(find16(begin, end, u'&'), std::find(begin, end, u'&')) << n << " " << at;
        }
    }
}
