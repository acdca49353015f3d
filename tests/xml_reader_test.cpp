#include "presets/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

struct element {
    std::u16string tag;
    std::u16string text;
    bool operator==(const element &) const = default;
};

// Every element the reader delivers after "<root>" (or from the start).
std::vector<element> read_all(xml_reader &r) {
    std::vector<element> out;
    std::u16string_view tag;
    std::u16string_view text;
    while (r.next_element(tag, text)) out.push_back({std::u16string(tag), std::u16string(text)});
    return out;
}

std::vector<element> read_text(const std::u16string &doc) {
    xml_reader r;
    r.open_units(doc);
    return read_all(r);
}

using pairs = std::vector<std::pair<std::u16string, std::u16string>>;

pairs attrs(std::u16string_view tag_text) {
    xml_attributes list(3);  // emptied first
    xml_reader::parse_attributes(tag_text, list);
    pairs out;
    for (const auto &a : list) out.emplace_back(a.name, a.value);
    return out;
}

}  // namespace

TEST(XmlReader, OpensMappedFilesAndRefusesEmptyOrMissing) {
    temp_dir dir;
    write_utf16(dir / "a.xml", u"<root>", bom::with);
    xml_reader r;
    ASSERT_TRUE(r.open(wide(dir / "a.xml").c_str()));
    EXPECT_TRUE(r.skip_past(u"<root>"));
    EXPECT_EQ(r.position(), 7);  // after the byte-order mark and the marker
    std::u16string_view tag;
    std::u16string_view text;
    EXPECT_FALSE(r.next_element(tag, text));
    EXPECT_FALSE(r.skip_past(u"<"));
    write_bytes(dir / "empty.xml", "");
    EXPECT_FALSE(r.open(wide(dir / "empty.xml").c_str()));
    EXPECT_FALSE(r.open(wide(dir / "missing.xml").c_str()));
    EXPECT_FALSE(r.skip_past(u"<"));
    // UTF-8 never matches a pattern of 16-bit units.
    write_bytes(dir / "u8.xml", "<root><a b=\"c\"/></root>");
    ASSERT_TRUE(r.open(wide(dir / "u8.xml").c_str()));
    EXPECT_FALSE(r.skip_past(u"<root>"));
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
    r.open_units(doc);
    std::u16string_view tag;
    std::u16string_view text;
    EXPECT_TRUE(r.next_element(tag, text));
    EXPECT_FALSE(r.next_element(tag, text));
    EXPECT_EQ(r.position(), 4);
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
    r.open_units(doc);
    EXPECT_TRUE(r.skip_past(u"<root>"));
    EXPECT_EQ(r.position(), 12);
    r.open_units(u"<roo");
    EXPECT_FALSE(r.skip_past(u"<root>"));
    EXPECT_EQ(r.position(), -1);
}

TEST(XmlReader, FindsMarkupAfterRunsOfAnyLength) {
    // Fillers that differ from "<" and ">" only in their high byte, up to lengths far past a
    // tag's limit, before the marker, the tag and its end.
    for (std::size_t n : {0u, 1u, 7u, 8u, 255u, 256u, 257u, 300u, 1000u, 4099u, 70000u}) {
        const std::u16string fill(n, u'\u013C');
        std::u16string doc = fill + u"<root>" + fill + u"<a v=\"1\"/>" + fill + u"<b>x</b>";
        xml_reader r;
        r.open_units(doc);
        ASSERT_TRUE(r.skip_past(u"<root>")) << n;
        EXPECT_EQ(r.position(), static_cast<std::int64_t>(n + 6)) << n;
        EXPECT_EQ(read_all(r), (std::vector<element>{{u"a v=\"1\"", u""}, {u"b", u"x"}})) << n;
    }
}

TEST(XmlReader, TrimSpacesOnlyDropsSpaces) {
    EXPECT_EQ(xml_reader::trim_spaces(u"  \ta b\r  "), u"\ta b\r");
    EXPECT_EQ(xml_reader::trim_spaces(u"   "), u"");
    EXPECT_EQ(xml_reader::trim_spaces(u""), u"");
}

TEST(XmlAttributes, SplittingRules) {
    using list = pairs;
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

TEST(XmlAttributes, AZeroUnitEndsTheTag) {
    const std::u16string two = u"op a=\"1\" b=\"2\"";
    std::u16string cut = two;
    cut[9] = 0;
    EXPECT_EQ(attrs(cut), (pairs{{u"a", u"1"}}));
    cut[2] = 0;
    EXPECT_EQ(attrs(cut), pairs{});
}
