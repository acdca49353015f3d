#include "text/language_file.h"

#include <gtest/gtest.h>

#include <vector>

#include <windows.h>

#include "kernel/process.h"
#include "support/test_support.h"
#include "text/data_file_path.h"

using namespace orvane_test;
using orvane_cr::language_table;

namespace {

language_table load_text(const std::u16string &text, bom mark = bom::none) {
    temp_dir dir;
    write_utf16(dir / "t.lng", text, mark);
    return language_table(wide(dir / "t.lng"));
}

language_table load_bytes(const std::string &bytes) {
    temp_dir dir;
    write_bytes(dir / "t.lng", bytes);
    return language_table(wide(dir / "t.lng"));
}

}  // namespace

TEST(LanguageFile, AllLineEndsAndBlankLinesLoadTheSameEntries) {
    for (std::u16string sep : {u"\r\n", u"\n", u"\r", u"\r\n\r\n\n", u"\n\r"}) {
        language_table t = load_text(u"[Create] [Anlegen]" + sep + u"[Exit] [Beenden]" + sep);
        EXPECT_TRUE(t.loaded);
        EXPECT_EQ(t.entries().size(), 2u);
        EXPECT_EQ(t.translate(u"Create"), u"Anlegen");
        EXPECT_EQ(t.translate(u"Exit"), u"Beenden");
    }
}

TEST(LanguageFile, ByteOrderMarkAndLastLineWithoutEndAndOddByte) {
    language_table t = load_text(u"[Create] [Anlegen]\r\n[Exit] [Beenden]", bom::with);
    EXPECT_EQ(t.translate(u"Create"), u"Anlegen");
    EXPECT_EQ(t.translate(u"Exit"), u"Beenden");
    language_table odd = load_bytes(utf16le(u"[Exit] [Ende]") + "X");
    EXPECT_EQ(odd.translate(u"Exit"), u"Ende");
}

TEST(LanguageFile, StopsAtTheFirstLineThatIsNoEntry) {
    language_table t = load_text(u"[Create] [A]\r\nremark\r\n[Exit] [B]\r\n");
    EXPECT_TRUE(t.loaded);
    EXPECT_EQ(t.translate(u"Create"), u"A");
    EXPECT_EQ(t.translate(u"Exit"), u"Exit");
    // A leading blank line is an empty line, and an empty line ends loading.
    language_table blank = load_text(u"\r\n[Create] [A]\r\n");
    EXPECT_FALSE(blank.loaded);
    EXPECT_EQ(blank.translate(u"Create"), u"Create");
    // Half an entry stops it too.
    EXPECT_FALSE(load_text(u"[Create] [A").loaded);
    EXPECT_FALSE(load_text(u"[Create]").loaded);
}

TEST(LanguageFile, EntryRulesExactKeysLastWinsEmptyTranslations) {
    language_table t = load_text(
        u"[Create] [First]\n[Create] [Second]\n[Exit] []\n[ Phone] [X]\n[modem] [Y]\n"
        u"Password=[Password] [Kennwort] ; note\n; [APN] [Zugang] ;\n[a[b] [c[d]\n");
    EXPECT_EQ(t.translate(u"Create"), u"Second");
    EXPECT_EQ(t.translate(u"Exit"), u"");
    EXPECT_EQ(t.translate(u"Phone"), u"Phone");
    EXPECT_EQ(t.translate(u"Modem"), u"Modem");
    EXPECT_EQ(t.translate(u"Password"), u"Kennwort");
    EXPECT_EQ(t.translate(u"APN"), u"Zugang");
    EXPECT_EQ(t.translate(u"a[b"), u"c[d");
}

TEST(LanguageFile, KeysAreFoundWhole) {
    // A key that begins another, and one beyond the surrogates.
    language_table t = load_text(u"[English text 1] [one]\n[English text 10] [ten]\n[English text\uFF21] [wide]\n");
    EXPECT_EQ(t.translate(u"English text 1"), u"one");
    EXPECT_EQ(t.translate(u"English text 10"), u"ten");
    EXPECT_EQ(t.translate(u"English text\uFF21"), u"wide");
    EXPECT_EQ(t.translate(u"English text"), u"English text");
}

TEST(LanguageFile, OtherEncodingsMissingAndEmptyFilesGiveNothing) {
    EXPECT_FALSE(load_bytes("[Create] [Anlegen]\r\n").loaded);              // 8-bit / UTF-8
    EXPECT_FALSE(load_bytes("\xEF\xBB\xBF[Create] [Anlegen]\r\n").loaded);  // UTF-8 with mark
    EXPECT_FALSE(load_bytes(utf16be(u"[Create] [Anlegen]\r\n")).loaded);
    EXPECT_FALSE(load_bytes("").loaded);
    EXPECT_FALSE(load_bytes("\xFF\xFE").loaded);
    EXPECT_FALSE(language_table(u"/nonexistent/x.lng").loaded);
    EXPECT_FALSE(language_table(std::u16string()).loaded);
}

TEST(DataFilePath, ExtensionIsCutInTheFileNameOnly) {
    using orvane_cr::replace_extension;
    EXPECT_EQ(replace_extension(u"\\Windows\\orvanecmgr.exe", u".lng"), u"\\Windows\\orvanecmgr.lng");
    EXPECT_EQ(replace_extension(u"/home/u/.local/bin/orvanecmgr", u".lng"), u"/home/u/.local/bin/orvanecmgr.lng");
    EXPECT_EQ(replace_extension(u"C:\\a.b\\prog", u".xml"), u"C:\\a.b\\prog.xml");
    EXPECT_EQ(replace_extension(u"/opt/x.y/prog.bin", u".xml"), u"/opt/x.y/prog.xml");
    EXPECT_EQ(replace_extension(u"prog", u".xml"), u"prog.xml");
    EXPECT_EQ(replace_extension(u"/a/.hidden", u".lng"), u"/a/.lng");
}

TEST(DataFilePath, LanguageFileIsNextToTheProgram) {
    EXPECT_EQ(orvane_cr::language_file_path(), wide(beside_self(".lng")));
    // A program path of MAX_PATH - 1 units is used; one of MAX_PATH would come back cut, so
    // no data file is named rather than another file's.
    for (std::size_t length : {static_cast<std::size_t>(MAX_PATH) - 1, static_cast<std::size_t>(MAX_PATH)}) {
        std::string path(1, '/');
        path.append(length - 6, 'd').append("/prog");
        orvane_platform::set_module_path(path);
        std::u16string named = orvane_cr::data_file_path(u".lng");
        orvane_platform::set_module_path({});
        EXPECT_EQ(named.empty(), length == MAX_PATH) << length;
        if (!named.empty()) {
            EXPECT_EQ(named, u16(path) + u".lng");
        }
    }
}
