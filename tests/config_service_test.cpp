#include <cfgmgrapi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "config/connection_store.h"
#include "config/provisioning.h"
#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_platform;

namespace {

std::u16string doc_with(const std::u16string &entries) {
    return u"<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">" + entries +
           u"</characteristic></wap-provisioningdoc>";
}

std::u16string entry(const std::u16string &name, const std::u16string &parms = u"<parm name=\"Phone\" value=\"1\"/>") {
    return u"<characteristic type=\"" + name + u"\">" + parms + u"</characteristic>";
}

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
    std::u16string doc = doc_with(entry(u"A") + entry(u"B", u"<parm name=\"Password\" value=\" p&amp;&#9;\"/>"));
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
    ASSERT_EQ(submit(doc_with(entry(u"Keep"))), S_OK);
    std::u16string lone = u"x";
    lone += static_cast<char16_t>(0xDC00);
    for (const std::u16string &bad : {
             std::u16string(u"<wap-provisioningdoc>"),
             std::u16string(u"<other/>"),
             std::u16string(u""),
             doc_with(u""),
             doc_with(entry(u"X", u"<parm name=\"Unknown\" value=\"1\"/>")),
             doc_with(entry(u"X", u"<parm name=\"Phone\"/>")),
             doc_with(entry(u"X", u"<parm name=\"Phone\" value=\"1\" extra=\"2\"/>")),
             doc_with(entry(u"X", u"<parm name=\"Phone\" value=\"1\"/><parm name=\"Phone\" value=\"2\"/>")),
             doc_with(entry(u"X", u"<other name=\"Phone\" value=\"1\"/>")),
             doc_with(entry(u"a/b")),
             doc_with(entry(u"New") + entry(u"keep")),  // one taken name refuses the whole document
             doc_with(entry(u"Dup") + entry(u"DUP")),
             doc_with(entry(lone)),
             u"<!DOCTYPE x [<!ENTITY e \"v\">]>" + doc_with(entry(u"X")),
             u"<wap-provisioningdoc><characteristic type=\"Other\">" + entry(u"X") +
                 u"</characteristic></wap-provisioningdoc>",
         }) {
        EXPECT_LT(submit(bad), 0) << u8(bad);
    }
    EXPECT_EQ(submit(doc_with(entry(u"KEEP"))), CONFIG_E_ENTRY_EXISTS);
    EXPECT_EQ(stored_names(), (std::vector<std::string>{"Keep"}));
    WCHAR *reply = nullptr;
    EXPECT_LT(DMProcessConfigXML(doc_with(entry(u"Y")).c_str(), 0, &reply), 0);
    EXPECT_LT(DMProcessConfigXML(nullptr, CFGFLAG_PROCESS, &reply), 0);
}

TEST(ConfigService, StoreFailuresAreNegativeAndOverwriteNothing) {
    device_sandbox dev;
    std::filesystem::create_directories(dev.folder());
    write_bytes(dev.store(), "this is not a database, and it is long enough to be looked at by sqlite....");
    EXPECT_LT(submit(doc_with(entry(u"X"))), 0);
    std::ifstream in(dev.store());
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content.substr(0, 16), "this is not a da");
    EXPECT_THROW(connection_store{connection_store::mode::read}, store_error);
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
    EXPECT_TRUE(s.remove("one"));
    EXPECT_FALSE(s.remove("one"));
    EXPECT_EQ(s.list().size(), 1u);
    EXPECT_EQ(fold_entry_name("ÄbC"), "äbc");
}
