#include <cfgmgrapi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "common/utf.h"
#include "config/connection_store.h"
#include "config/provisioning.h"
#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_platform;

namespace {


HRESULT submit(const std::u16string &doc, std::u16string *reply_text = nullptr) {
    WCHAR *reply = reinterpret_cast<WCHAR *>(1);
    HRESULT hr = DMProcessConfigXML(doc.c_str(), CFGFLAG_PROCESS, &reply);
    if (reply_text != nullptr && reply != nullptr) *reply_text = reply;
    if (FAILED(hr)) {
        EXPECT_EQ(reply, nullptr);
    }
    delete[] reply;
    return hr;
}

std::vector<std::string> stored_names() {
    if (!connection_store::exists()) return {};
    connection_store s(connection_store::mode::read);
    std::vector<std::string> out;
    for (const auto &e : s.list()) out.push_back(e.name);
    return out;
}

}  // namespace

TEST(ConfigService, AcceptsEntriesAndRepliesWithTheDocument) {
    device_sandbox dev;
    std::u16string reply;
    std::u16string doc = provisioning_doc(provisioning_entry(u"A") + provisioning_entry(u"B", u"<parm name=\"Password\" value=\" p&amp;&#9;\"/>"));
    ASSERT_EQ(submit(doc, &reply), S_OK);
    EXPECT_EQ(reply, doc);
    EXPECT_EQ(stored_names(), (std::vector<std::string>{"A", "B"}));
    connection_store s(connection_store::mode::read);
    EXPECT_EQ(s.find("b")->parms.at(0).second, " p&\t");
    EXPECT_EQ(s.integrity_check(), "ok");
    struct stat st {};
    ASSERT_EQ(stat(dev.store().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ConfigService, RefusesAnythingElseAndChangesNothing) {
    device_sandbox dev;
    ASSERT_EQ(submit(provisioning_doc(provisioning_entry(u"Keep"))), S_OK);
    std::u16string lone = u"x";
    lone += static_cast<char16_t>(0xDC00);
    for (const std::u16string &bad : {
             std::u16string(u"<wap-provisioningdoc>"),
             std::u16string(u"<other/>"),
             std::u16string(u""),
             provisioning_doc(u""),
             provisioning_doc(provisioning_entry(u"X", u"<parm name=\"Unknown\" value=\"1\"/>")),
             provisioning_doc(provisioning_entry(u"X", u"<parm name=\"Phone\"/>")),
             provisioning_doc(provisioning_entry(u"X", u"<parm name=\"Phone\" value=\"1\" extra=\"2\"/>")),
             provisioning_doc(provisioning_entry(u"X", u"<parm name=\"Phone\" value=\"1\"/><parm name=\"Phone\" value=\"2\"/>")),
             provisioning_doc(provisioning_entry(u"X", u"<other name=\"Phone\" value=\"1\"/>")),
             provisioning_doc(provisioning_entry(u"a/b")),
             provisioning_doc(provisioning_entry(u"New") + provisioning_entry(u"keep")),  // one taken name refuses the whole document
             provisioning_doc(provisioning_entry(u"Dup") + provisioning_entry(u"DUP")),
             provisioning_doc(provisioning_entry(lone)),
             u"<!DOCTYPE x [<!ENTITY e \"v\">]>" + provisioning_doc(provisioning_entry(u"X")),
             u"<wap-provisioningdoc><characteristic type=\"Other\">" + provisioning_entry(u"X") +
                 u"</characteristic></wap-provisioningdoc>",
         }) {
        EXPECT_LT(submit(bad), 0) << u8(bad);
    }
    // Content where none belongs: text, CDATA or an element, in every element of the document.
    const std::u16string parm = u"<parm name=\"Phone\" value=\"1\"";
    for (const std::u16string content : {u"text", u"<![CDATA[t]]>", u"<x/>", u"&#32;"}) {
        for (const std::u16string &bad : {
                 u"<wap-provisioningdoc>" + content + u"<characteristic type=\"CM_PPPEntries\">" +
                     provisioning_entry(u"X") + u"</characteristic></wap-provisioningdoc>",
                 provisioning_doc(content + provisioning_entry(u"X")),
                 provisioning_doc(provisioning_entry(u"X", content + parm + u"/>")),
                 provisioning_doc(provisioning_entry(u"X", parm + u">" + content + u"</parm>")),
             }) {
            EXPECT_EQ(submit(bad), E_INVALIDARG) << u8(bad);
        }
    }
    EXPECT_EQ(submit(provisioning_doc(provisioning_entry(u"KEEP"))), CONFIG_E_ENTRY_EXISTS);
    EXPECT_EQ(stored_names(), (std::vector<std::string>{"Keep"}));
    WCHAR *reply = nullptr;
    EXPECT_LT(DMProcessConfigXML(provisioning_doc(provisioning_entry(u"Y")).c_str(), 0, &reply), 0);
    EXPECT_LT(DMProcessConfigXML(nullptr, CFGFLAG_PROCESS, &reply), 0);
}

TEST(ConfigService, StoreFailuresAreNegativeAndOverwriteNothing) {
    device_sandbox dev;
    std::filesystem::create_directories(dev.folder());
    write_bytes(dev.store(), "this is not a database, and it is long enough to be looked at by sqlite....");
    EXPECT_LT(submit(provisioning_doc(provisioning_entry(u"X"))), 0);
    std::string content = read_bytes(dev.store());
    EXPECT_EQ(content.substr(0, 16), "this is not a da");
    EXPECT_THROW(connection_store{connection_store::mode::read}, store_error);
    // A device.toml that cannot be used says nothing of where entries go: none is stored.
    std::filesystem::remove(dev.store());
    dev.write_profile("[store]\nnetworkmanager = 1\n");
    EXPECT_LT(submit(provisioning_doc(provisioning_entry(u"X"))), 0);
    EXPECT_FALSE(connection_store::exists());
}

TEST(ConnectionStore, ListFindRemove) {
    device_sandbox dev;
    connection_store s(connection_store::mode::write);
    s.insert({{"One", {{"Phone", "1"}}, "<d/>", ""}});
    s.insert({{"Two", {}, "<d/>", ""}});
    EXPECT_TRUE(s.contains("ONE"));
    EXPECT_THROW(s.insert({{"three", {}, "", ""}, {"one", {}, "", ""}}), entry_exists);
    EXPECT_FALSE(s.contains("three"));
    EXPECT_EQ(s.list().size(), 2u);
    // A step that must go with the change gets the entries as stored; what it throws undoes it.
    std::vector<stored_entry> seen;
    EXPECT_THROW(s.insert({{"Three", {{"Phone", "3"}}, "", ""}},
                          [&](const std::vector<stored_entry> &stored) {
                              seen = stored;
                              throw store_error("refused");
                          }),
                 store_error);
    EXPECT_FALSE(s.contains("Three"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].created.size(), 20u);  // 2026-12-10T17:00:00Z
    EXPECT_EQ(seen[0].parms.size(), 1u);
    EXPECT_THROW(s.remove("ONE", [&](const std::vector<stored_entry> &removed) {
        seen = removed;
        throw store_error("refused");
    }), store_error);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, "One");
    EXPECT_EQ(seen[0].created, s.find("one")->created);
    EXPECT_TRUE(s.remove("one"));
    EXPECT_FALSE(s.remove("one", [](const std::vector<stored_entry> &) { throw store_error("not called"); }));
    EXPECT_EQ(s.list().size(), 1u);
    EXPECT_EQ(fold_entry_name("ÄbC"), "äbc");
}

TEST(ConfigService, OnlyTextThatReadsBackIsStored) {
    device_sandbox dev;
    // References to what XML has no character for, and such characters written raw.
    for (const char16_t *ref : {u"&#xD800;", u"&#xdfff;", u"&#0;", u"&#1;", u"&#xFFFE;", u"&#x110000;", u"&#99999999999;",
                                u"\x1B", u"\a", u"\uFFFF"}) {
        std::string error;
        EXPECT_LT(process_provisioning_document(provisioning_doc(provisioning_entry(u"A", u"<parm name=\"Phone\" value=\"a" +
                                                                  std::u16string(ref) + u"b\"/>")),
                                                &error),
                  0)
            << u8(ref);
        EXPECT_NE(error.find("not well-formed"), std::string::npos) << error;
    }
    EXPECT_TRUE(stored_names().empty());
    ASSERT_EQ(submit(provisioning_doc(provisioning_entry(u"A", u"<parm name=\"Phone\" value=\"&#9;&#x10FFFF;&#xE000;\"/>"))), S_OK);
    // The decoder takes no overlong form, surrogate or value past U+10FFFF.
    EXPECT_EQ(from_utf8("\xC0\xAF"), u"\uFFFD");  // not "/"
    EXPECT_EQ(from_utf8("a\xC0\x80" "b").find(u'\0'), std::u16string::npos);
    EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD");
    EXPECT_EQ(from_utf8("\xF4\x90\x80\x80").find(u'\uFFFD'), 0u);
    EXPECT_EQ(from_utf8("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(invalid_utf8_offset("ab\xE2\x82"), 2u);
    EXPECT_EQ(invalid_utf8_offset("\xE2\x82\xAC"), std::string::npos);
}

TEST(ConnectionStore, NamesFoldedOneWayForEveryPair) {
    device_sandbox dev;
    connection_store s(connection_store::mode::write);
    for (auto [a, b] : {std::pair{"C\u03C2", "C\u03A3"}, {"I\u017F", "IS"}, {"H\u00B5", "H\u039C"}}) {
        EXPECT_EQ(fold_entry_name(a), fold_entry_name(b)) << a;
        s.insert({{a, {}, "", ""}});
        EXPECT_THROW(s.insert({{b, {}, "", ""}}), entry_exists) << b;
        EXPECT_TRUE(s.contains(b));
    }
    s.insert({{"\u0130stanbul", {}, "", ""}});
    EXPECT_NO_THROW(s.insert({{"istanbul", {}, "", ""}}));  // the Turkic dotted I is another letter
}

TEST(ConnectionStore, OlderStoreMigratedEveryEntryKeptNothingOfAnother) {
    device_sandbox dev;
    std::filesystem::create_directories(dev.folder());
    // A store as the first version wrote it: every entry with the whole submitted document,
    // names folded by towlower.
    std::string whole = "<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">"
                        "<characteristic type=\"Alice\"><parm name=\"Password\" value=\"alice-pw\"/></characteristic>"
                        "<characteristic type=\"C\u03C2\"><parm name=\"Password\" value=\"sigma-pw\"/>"
                        "<parm name=\"Phone\" value=\"*99#\"/></characteristic></characteristic></wap-provisioningdoc>";
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(dev.store().c_str(), &db), SQLITE_OK);
    std::string sql =
        "CREATE TABLE entries(id INTEGER PRIMARY KEY, name TEXT NOT NULL, name_key TEXT NOT NULL UNIQUE,"
        " document TEXT NOT NULL, created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ','now')));"
        "CREATE TABLE parms(entry_id INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,"
        " position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY(entry_id, position));"
        "INSERT INTO entries(id, name, name_key, document) VALUES(1, 'Alice', 'alice', '" + whole + "'),"
        " (2, 'C\u03C2', 'c\u03C2', '" + whole + "');"
        "INSERT INTO parms VALUES(1, 0, 'Password', 'alice-pw'), (2, 0, 'Password', 'sigma-pw'), (2, 1, 'Phone', '*99#');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    connection_store s(connection_store::mode::read);
    auto all = s.list();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].parms, (std::vector<std::pair<std::string, std::string>>{{"Password", "alice-pw"}}));
    EXPECT_EQ(all[1].parms.size(), 2u);
    EXPECT_EQ(all[0].document.find("sigma-pw"), std::string::npos) << all[0].document;
    EXPECT_EQ(all[1].document.find("alice-pw"), std::string::npos) << all[1].document;
    EXPECT_NE(all[1].document.find("sigma-pw"), std::string::npos);
    EXPECT_TRUE(s.contains("C\u03A3"));  // the key is the new folding's
    EXPECT_EQ(parse_provisioning_document(from_utf8(all[1].document))[0].parms, all[1].parms);
}

TEST(ConfigService, TwentyThousandEntriesInOneDocumentInLinearTime) {
    device_sandbox dev;
    std::u16string entries;
    for (int i = 0; i < 20000; ++i) {
        std::u16string name(1, u'E');
        name += from_utf8(std::to_string(i));
        entries += provisioning_entry(name, u"<parm name=\"Password\" value=\"pw\"/>");
    }
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(submit(provisioning_doc(entries)), S_OK);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("20,000 entries in one document: %.2f s\n", seconds);
    EXPECT_LT(seconds, 10.0);
    connection_store s(connection_store::mode::read);
    auto one = s.find("E19999");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->document.find("E19998"), std::string::npos);
}
