#include "presets/operator_presets.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "presets/xml_reader.h"
#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_cr;

namespace {

operator_presets read_file(const std::u16string &text, bom mark = bom::with) {
    temp_dir dir;
    write_utf16(dir / "o.xml", text, mark);
    xml_reader r;
    operator_presets out;
    if (r.open(wide(dir / "o.xml").c_str())) read_operator_presets(r, out);
    return out;
}

std::vector<std::u16string> names(const operator_presets &p) {
    std::vector<std::u16string> out;
    for (const auto &x : p) out.emplace_back(x.name);
    return out;
}

struct operators_file_guard {
    std::filesystem::path path = beside_self(".xml");
    ~operators_file_guard() { std::filesystem::remove(path); }
};

}  // namespace

TEST(OperatorPresets, WorkedExample) {
    for (std::u16string eol : {u"\r\n", u"\n", u"\r"}) {
        auto p = read_file(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + eol + u"<root>" + eol + u"<operators>" +
                           eol + u"  <op Name=\"Alpha\" Apn=\"internet\" Phone=\"*99#\"/>" + eol +
                           u"  <op Name=\"Beta &amp; Co\" User=\"web\" Apn=\"internet\" Phone=\"*99***1#\" />" + eol +
                           u"</operators>" + eol + u"</root>" + eol);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_EQ(p[0].name, u"Alpha");
        EXPECT_EQ(p[0].user, u"");
        EXPECT_EQ(p[0].password, u"");
        EXPECT_EQ(p[0].apn, u"internet");
        EXPECT_EQ(p[0].phone, u"*99#");
        EXPECT_EQ(p[1].name, u"Beta & Co");
        EXPECT_EQ(p[1].user, u"web");
        EXPECT_EQ(p[1].password, u"");
        EXPECT_EQ(p[1].apn, u"internet");
        EXPECT_EQ(p[1].phone, u"*99***1#");
    }
}

TEST(OperatorPresets, ElementFormsAndStoppingRules) {
    EXPECT_EQ(names(read_file(u"<root><a Name=\"1\"/><b Name=\"2\">t</b><c Name=\"3\"></c></root>")),
              (std::vector<std::u16string>{u"1", u"2", u"3"}));
    // The end tag of the first group ends the reading.
    EXPECT_EQ(names(read_file(u"<root><g><a Name=\"1\"/></g><g><a Name=\"2\"/></g></root>")),
              (std::vector<std::u16string>{u"1"}));
    // A child is read as an element of its own; the parent's end tag then stops.
    EXPECT_EQ(names(read_file(u"<root><a Name=\"1\"><k Name=\"c\"/></a><a Name=\"2\"/></root>")),
              (std::vector<std::u16string>{u"1", u"c"}));
    // A comment with a space gives an empty preset.
    EXPECT_EQ(names(read_file(u"<root><!-- note --><a Name=\"1\"/></root>")),
              (std::vector<std::u16string>{u"", u"1"}));
    EXPECT_TRUE(read_file(u"<root></root>").empty());
    EXPECT_TRUE(read_file(u"<ROOT><a Name=\"1\"/>").empty());
    EXPECT_TRUE(read_file(u"<root >\n<a Name=\"1\"/>").empty());
    // Truncated after a good operator: what was read stays.
    EXPECT_EQ(names(read_file(u"<root><a Name=\"1\"/><a Name=\"2")), (std::vector<std::u16string>{u"1"}));
}

TEST(OperatorPresets, AttributeRules) {
    auto p = read_file(
        u"<root><a Name=\"x\" Name=\"y\" name=\"z\" Pwd=\" s p \" Apn=\"a&amp;b&amp;c&lt;&#38;\" "
        u"Phone='1' User=\"u\"/></root>");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].name, u"y");
    EXPECT_EQ(p[0].password, u" s p ");
    // Every "&amp;" is decoded; other references stay.
    EXPECT_EQ(p[0].apn, u"a&b&c&lt;&#38;");
    // The single-quoted value swallows the next attribute.
    EXPECT_EQ(p[0].phone, u"");
    EXPECT_EQ(p[0].user, u"");
    EXPECT_EQ(read_file(u"<root><a Name=\"A & B\"/>")[0].name, u"A & B");
    // At either end, in a value joined from a run before its quote, and decoded only once.
    EXPECT_EQ(read_file(u"<root><a Name=\"&amp;x&amp;\"/>")[0].name, u"&x&");
    EXPECT_EQ(read_file(u"<root><a Name=\"&amp;amp;\"/>")[0].name, u"&amp;");
    EXPECT_EQ(read_file(u"<root><a Name=x&amp;\"y\"/>")[0].name, u"x&y");
}

TEST(OperatorPresets, OverlongTagIsSkippedAndReadingGoesOn) {
    std::u16string pad(230, u'x');
    std::u16string fits = u"a Name=\"1\" Apn=\"" + pad + u"\"";  // 247 units, padded to 255 below
    std::u16string at255 = fits + std::u16string(255 - fits.size(), u' ');
    std::u16string over = u"a Name=\"2\" Apn=\"" + pad + u"y\"" + std::u16string(255 - fits.size(), u' ');
    auto p = read_file(u"<root><" + at255 + u"/><" + over + u"/><a Name=\"3\"/></root>");
    EXPECT_EQ(names(p), (std::vector<std::u16string>{u"1", u"3"}));
    EXPECT_EQ(p[0].apn, pad);
}

TEST(OperatorPresets, EncodingsAndOddByte) {
    std::u16string doc = u"<root><a Name=\"1\"/></root>";
    EXPECT_EQ(read_file(doc, bom::none).size(), 1u);
    temp_dir dir;
    xml_reader r;
    operator_presets out;
    write_bytes(dir / "be.xml", utf16be(doc));
    ASSERT_TRUE(r.open(wide(dir / "be.xml").c_str()));
    read_operator_presets(r, out);
    EXPECT_TRUE(out.empty());
    write_bytes(dir / "u8.xml", "<root><a Name=\"1\"/></root>");
    ASSERT_TRUE(r.open(wide(dir / "u8.xml").c_str()));
    read_operator_presets(r, out);
    EXPECT_TRUE(out.empty());
    write_bytes(dir / "odd.xml", utf16le(doc) + "Z");
    ASSERT_TRUE(r.open(wide(dir / "odd.xml").c_str()));
    read_operator_presets(r, out);
    EXPECT_EQ(out.size(), 1u);
}

TEST(OperatorPresets, FileNextToTheProgramAndTheFallback) {
    operators_file_guard guard;
    std::filesystem::remove(guard.path);
    EXPECT_EQ(operators_file_path(), wide(guard.path));
    operator_presets list;
    get_operator_presets(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, u"[Custom]");
    EXPECT_EQ(list[0].user, u"");
    EXPECT_EQ(list[0].password, u"");
    EXPECT_EQ(list[0].apn, u"");
    EXPECT_EQ(list[0].phone, u"*99***1#");

    write_utf16(guard.path, u"<root><a Name=\"Alpha\" Apn=\"web\"/><a Name=\"Beta\"/></root>", bom::with);
    // A list already filled is not reloaded.
    EXPECT_EQ(&get_operator_presets(list), &list);
    EXPECT_EQ(list.size(), 1u);
    operator_presets fresh;
    get_operator_presets(fresh);
    EXPECT_EQ(names(fresh), (std::vector<std::u16string>{u"Alpha", u"Beta"}));
    load_operator_presets(fresh);  // empties first
    EXPECT_EQ(fresh.size(), 2u);

    write_bytes(guard.path, "");
    operator_presets empty_file;
    get_operator_presets(empty_file);
    EXPECT_EQ(names(empty_file), (std::vector<std::u16string>{u"[Custom]"}));
}

// Which preset a SIM chooses: the MNC compared with its length, a shared network settled by the
// SIM's provider name and then the primary mark, anything still open left to the caller.
TEST(OperatorPresets, TheSimsPreset) {
    const operator_presets presets = read_file(
        u"<root><o Name=\"Plain\" Apn=\"p\"/>"
        u"<o Name=\"Three\" Networks=\"001010\"/>"
        u"<o Name=\"Two\" Networks=\"00102  00101 \"/>"
        u"<o Name=\"Host\" Networks=\"00201\" Primary=\"1\"/>"
        u"<o Name=\"V1\" Networks=\"00201 00301\"/>"
        u"<o Name=\"V2\" Networks=\"00201 00301\" Primary=\"true\"/>"
        u"<o Name=\"Twin\" Networks=\"00401\" Primary=\"1\"/><o Name=\"Twin\" Networks=\"00401\" Primary=\"1\"/></root>");
    ASSERT_EQ(presets.size(), 8u);
    EXPECT_EQ(presets[2].networks, (std::vector<std::u16string>{u"00102", u"00101"}));
    EXPECT_TRUE(presets[3].primary);
    EXPECT_FALSE(presets[5].primary);  // only "1" marks it
    const std::size_t none = std::u16string::npos;
    struct {
        std::u16string sim;
        std::vector<std::size_t> named;
        std::size_t chosen;
    } const cases[] = {
        {u"00101", {}, 2},          // "001" + "01" is not "001" + "010"
        {u"001010", {}, 1},
        {u"00201", {4}, 4},         // the provider's name settles it
        {u"00201", {}, 3},          // else the primary
        {u"00201", {0}, 3},         // a name outside the network's operators does not count
        {u"00201", {4, 5}, none},   // two named, neither primary
        {u"00301", {}, none},       // two, no primary
        {u"00401", {}, none},       // two primaries
        {u"00999", {}, none},       // nobody's network
        {u"", {}, none},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(preset_for_sim(presets, c.sim, c.named), c.chosen) << u8(c.sim);
    }
}
