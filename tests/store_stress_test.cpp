// The connection store under several writers, a killed writer and damaged files.
#include <cfgmgrapi.h>
#include <ras.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "config/connection_store.h"
#include "modems/orvane_tapi.h"
#include "provisioning/orvane_ras.h"
#include "provisioning/ui_exception.h"
#include "support/test_support.h"

using namespace orvane_test;
using namespace orvane_platform;

namespace {

// Built with a stream: g++ 12 at -O3 warns, wrongly, on "literal" + std::to_string (PR 105329).
std::string numbered(const char *prefix, int n) {
    std::ostringstream out;
    out << prefix << n;
    return out.str();
}

std::u16string document(const std::string &name) {
    std::string parms;
    for (const char *p : {"Phone", "UserName", "Password", "Domain", "DeviceName", "DeviceType", "Script", "DestId",
                          "UseCountryAndAreaCodes", "DialAsLocalCall", "DeviceSpecificRAW"}) {
        parms += std::string("<parm name=\"") + p + "\" value=\"" + name + "-" + p + "\"/>";
    }
    return u16(provisioning_doc(provisioning_entry(name, parms)));
}

HRESULT submit(const std::string &name) {
    std::u16string doc = document(name);
    WCHAR *reply = nullptr;
    HRESULT hr = DMProcessConfigXML(doc.c_str(), CFGFLAG_PROCESS, &reply);
    delete[] reply;
    return hr;
}


std::u16string create_failure_message() {
    orvane_cr::modem_list modems;
    orvane_cr::connection_request r{u"Fresh", u"Hayes Compatible on COM1:", u"", u"", u"", u"", u"*99#"};
    try {
        orvane_cr::create_connection(modems, r);
    } catch (const orvane_cr::ui_exception &e) {
        return e.message();
    }
    return u"created";
}

command_result tool(const std::string &args) { return run_command(shell_quote(ORVANE_DEVICE_TOOL) + " " + args); }

}  // namespace

TEST(StoreStress, FourWritersThousandEntries) {
    device_sandbox dev;
    ASSERT_EQ(submit("seed"), S_OK);
    std::vector<pid_t> children;
    for (int w = 0; w < 4; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < 250; ++i) {
                if (submit(numbered("w", w) + numbered("-", i)) != S_OK) ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    connection_store store(connection_store::mode::read);
    auto all = store.list();
    EXPECT_EQ(all.size(), 1001u);
    for (const auto &e : all) ASSERT_EQ(e.parms.size(), 11u) << e.name;
    EXPECT_EQ(store.integrity_check(), "ok");
}

TEST(StoreStress, TwoWritersOfOneNameAtOnce) {
    device_sandbox dev;
    ASSERT_EQ(submit("seed"), S_OK);
    for (int round = 0; round < 5; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<pid_t> children;
        std::string name = numbered("Same", round);
        for (int w = 0; w < 2; ++w) {
            pid_t pid = fork();
            if (pid == 0) {
                close(go[1]);
                char c;
                if (read(go[0], &c, 1) < 0) _exit(4);  // both start when the pipe closes
                HRESULT hr = submit(name);
                _exit(hr == S_OK ? 0 : (hr == CONFIG_E_ENTRY_EXISTS ? 2 : 3));
            }
            children.push_back(pid);
        }
        close(go[0]);
        close(go[1]);
        int ok = 0;
        int refused = 0;
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            ok += WEXITSTATUS(status) == 0 ? 1 : 0;
            refused += WEXITSTATUS(status) == 2 ? 1 : 0;
        }
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(refused, 1);
    }
    connection_store store(connection_store::mode::read);
    EXPECT_EQ(store.list().size(), 6u);
}

TEST(StoreStress, WriterKilledInTheMiddle) {
    device_sandbox dev;
    ASSERT_EQ(submit("first"), S_OK);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (int i = 0;; ++i) submit(numbered("k", i));
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::size_t seen = 0;
    while (std::chrono::steady_clock::now() < deadline && seen < 40) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        try {
            seen = connection_store(connection_store::mode::read).list().size();
        } catch (const store_error &) {
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    connection_store store(connection_store::mode::read);
    EXPECT_EQ(store.integrity_check(), "ok");
    auto all = store.list();
    EXPECT_GE(all.size(), seen);
    for (const auto &e : all) EXPECT_EQ(e.parms.size(), 11u) << "partial entry " << e.name;
    ASSERT_TRUE(store.find("first"));
    EXPECT_EQ(store.find("first")->parms.at(0).second, "first-Phone");
    // And it takes new entries.
    EXPECT_EQ(submit("after"), S_OK);
}

TEST(StoreStress, DamagedStoresFailCleanly) {
    device_sandbox dev;
    std::filesystem::create_directories(dev.folder());
    // Not a database at all.
    std::string junk(8192, 'x');
    write_bytes(dev.store(), junk);
    EXPECT_EQ(create_failure_message(), u"Could not create connection");
    EXPECT_EQ(read_bytes(dev.store()), junk);
    auto r = tool("connections");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("not a database"), std::string::npos) << r.err;

    // A real store with its pages damaged.
    std::filesystem::remove(dev.store());
    ASSERT_EQ(submit("one"), S_OK);
    ASSERT_EQ(submit("two"), S_OK);
    {
        connection_store s(connection_store::mode::write);  // checkpoint the log into the file
    }
    sqlite3 *db = nullptr;
    sqlite3_open(dev.store().c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string bytes = read_bytes(dev.store());
    ASSERT_GT(bytes.size(), 4096u);
    for (std::size_t i = 100; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(0xA5);
    write_bytes(dev.store(), bytes);
    EXPECT_EQ(create_failure_message(), u"Could not create connection");
    EXPECT_EQ(read_bytes(dev.store()), bytes);
    r = tool("connections");
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.err.empty());
}

TEST(StoreStress, LockedStoreFailsAndRecovers) {
    device_sandbox dev;
    ASSERT_EQ(submit("one"), S_OK);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(dev.store().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(create_failure_message(), u"Could not create connection");
    auto r = tool("delete one");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("locked"), std::string::npos) << r.err;
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(create_failure_message(), u"created");
    EXPECT_TRUE(connection_store(connection_store::mode::read).find("one"));
}

TEST(StoreStress, ReadOnlyStoreFails) {
    if (geteuid() == 0) GTEST_SKIP() << "file modes do not bind root";
    device_sandbox dev;
    ASSERT_EQ(submit("one"), S_OK);
    chmod(dev.store().c_str(), 0400);
    EXPECT_EQ(create_failure_message(), u"Could not create connection");
    EXPECT_NE(tool("delete one").status, 0);
    chmod(dev.store().c_str(), 0600);
}

TEST(StoreStress, ModesWhateverTheUmask) {
    for (mode_t mask : {0000, 0022, 0077, 0277}) {
        device_sandbox dev;
        mode_t old = umask(mask);
        HRESULT hr = submit("one");
        umask(old);
        ASSERT_EQ(hr, S_OK) << mask;
        struct stat st {};
        ASSERT_EQ(stat(dev.folder().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << mask;
        ASSERT_EQ(stat(dev.store().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << mask;
    }
}

TEST(StoreStress, AnotherUsersFolderOrStoreIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give files to another user (nobody)";
    device_sandbox dev;
    ASSERT_EQ(submit("mine"), S_OK);
    // The device folder, the store and its log, each in turn another user's: refused, named.
    for (const auto &path : {dev.folder(), dev.store(), std::filesystem::path(dev.store().string() + "-wal")}) {
        if (!std::filesystem::exists(path)) write_bytes(path, "");
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(create_failure_message(), u"Could not create connection") << path;
        auto r = tool("connections");
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_NE(r.err.find(path.string() + " belongs to another user"), std::string::npos) << r.err;
        ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    }
    // A store of the user's own that others may read is made private again.
    chmod(dev.store().c_str(), 0666);
    auto r = tool("connections");
    EXPECT_EQ(r.out, "mine\n");
    EXPECT_NE(r.err.find("its mode is now 0600"), std::string::npos) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(dev.store().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(StoreStress, EmptyFileIsAnEmptyStoreAndDeletedValuesLeaveTheFile) {
    device_sandbox dev;
    std::filesystem::create_directories(dev.folder());
    write_bytes(dev.store(), "");
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Connection"), 0u);  // every name is free
    EXPECT_EQ(tool("connections").status, 0);
    // Two entries in one document: each keeps its own part; a deleted one's values are gone.
    auto r = run_command("printf '%s' '<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\">"
                         "<characteristic type=\"Alice\"><parm name=\"Password\" value=\"alice-pw-5123\"/></characteristic>"
                         "<characteristic type=\"Bob\"><parm name=\"Password\" value=\"bob-pw-7781\"/></characteristic>"
                         "</characteristic></wap-provisioningdoc>' | " + shell_quote(ORVANE_DEVICE_TOOL) + " provision -");
    ASSERT_EQ(r.status, 0) << r.err;
    r = tool("show --show-secrets Bob");
    EXPECT_NE(r.out.find("bob-pw-7781"), std::string::npos);
    EXPECT_EQ(r.out.find("alice-pw-5123"), std::string::npos) << r.out;
    ASSERT_EQ(tool("delete Alice").status, 0);
    std::string bytes;
    for (const char *suffix : {"", "-wal", "-shm"}) {
        std::filesystem::path p = dev.store().string() + suffix;
        if (std::filesystem::exists(p)) bytes += read_bytes(p);
    }
    EXPECT_EQ(bytes.find("alice-pw-5123"), std::string::npos);
    EXPECT_EQ(bytes.find("Alice"), std::string::npos);
    EXPECT_NE(bytes.find("bob-pw-7781"), std::string::npos);

    // With the name test's store kept open here, a write still reaches the file itself (read
    // without the log), and a deletion still leaves no trace in any of the three files.
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Bob"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_EQ(submit("Carol"), S_OK);
    sqlite3 *db = nullptr;
    std::string uri = "file:" + dev.store().string() + "?immutable=1";
    ASSERT_EQ(sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM entries WHERE name = 'Carol'", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_EQ(tool("delete Bob").status, 0);
    bytes.clear();
    for (const char *suffix : {"", "-wal", "-shm"}) {
        std::filesystem::path p = dev.store().string() + suffix;
        if (std::filesystem::exists(p)) bytes += read_bytes(p);
    }
    EXPECT_EQ(bytes.find("bob-pw-7781"), std::string::npos);
    EXPECT_EQ(RasValidateEntryName(nullptr, u"Bob"), 0u);
}
