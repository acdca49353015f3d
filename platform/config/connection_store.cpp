#include "connection_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>


#include <cerrno>
#include <cstring>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "../common/utf.h"
#include "../device/device.h"

namespace orvane_platform {
namespace {

constexpr const char *schema =
    "CREATE TABLE IF NOT EXISTS entries("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " name_key TEXT NOT NULL UNIQUE,"
    " document TEXT NOT NULL,"
    " created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ','now')));"
    "CREATE TABLE IF NOT EXISTS parms("
    " entry_id INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,"
    " position INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " value TEXT NOT NULL,"
    " PRIMARY KEY(entry_id, position));";

struct statement {
    sqlite3_stmt *s = nullptr;
    statement(sqlite3 *db, const char *sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) s = nullptr;
    }
    ~statement() { sqlite3_finalize(s); }
    statement(const statement &) = delete;
    statement &operator=(const statement &) = delete;
    void bind(int i, const std::string &v) const { sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); }
    // Valid until the next step.
    std::string_view column_view(int i) const {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
        auto n = static_cast<std::size_t>(sqlite3_column_bytes(s, i));
        return p == nullptr ? std::string_view() : std::string_view(p, n);
    }
    std::string column(int i) const { return std::string(column_view(i)); }
};

}  // namespace

std::string fold_entry_name(const std::string &utf8_name) {
    // Unicode simple case folding: one code point for one, the same both ways ("C\u03C2" and
    // "C\u03A3", "I\u017F" and "IS"), and no Turkic dotted I taken for a plain one.
    return to_utf8(fold_case(from_utf8(utf8_name)));
}

std::string parm_value(const stored_entry &e, std::string_view name) {
    for (const auto &[k, v] : e.parms) {
        if (k == name) return v;
    }
    return {};
}

std::string entry_document(const stored_entry &e) {
    pugi::xml_document doc;
    pugi::xml_node group = doc.append_child("wap-provisioningdoc").append_child("characteristic");
    group.append_attribute("type") = "CM_PPPEntries";
    pugi::xml_node entry = group.append_child("characteristic");
    entry.append_attribute("type") = e.name.c_str();
    for (const auto &[name, value] : e.parms) {
        pugi::xml_node parm = entry.append_child("parm");
        parm.append_attribute("name") = name.c_str();
        parm.append_attribute("value") = value.c_str();
    }
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

std::filesystem::path connection_store::default_path() { return device_file("connections.db"); }

bool connection_store::exists(const std::filesystem::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return true;
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return false;
    // A folder the caller may not even look into is refused as one it can read would be.
    try {
        check_own_path(path.parent_path(), true);
    } catch (const std::runtime_error &e) {
        throw store_error(e.what());
    }
    throw store_error("cannot use the connection store " + path.string() + ": " + std::strerror(error));
}

namespace {

// 1: one whole submitted document an entry, names folded by the C library's towlower.
// 2: each entry its own document, names folded by Unicode simple case folding.
constexpr int store_version = 2;

}  // namespace

connection_store::connection_store(mode m, std::filesystem::path path) : path_(std::move(path)) {
    int flags = prepare_file(m);
    if (empty_) return;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw store_error("cannot open the connection store " + path_.string() + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
    try {
        prepare_database(m, (flags & SQLITE_OPEN_READWRITE) != 0);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

// The checks on the folder and the files, the file made private before SQLite sees it; the
// flags to open it with. An empty store file sets `empty_` and opens nothing.
int connection_store::prepare_file(mode m) {
    std::filesystem::path folder = path_.parent_path();
    if (m == mode::write) {
        if (path_ == default_path()) ensure_device_folder();
    }
    try {
        if (!folder.empty()) check_own_path(folder, true);
        for (const char *suffix : {"", "-wal", "-shm"}) check_own_path(path_.string() + suffix, false);
    } catch (const std::runtime_error &e) {
        throw store_error(e.what());
    }
    int flags = SQLITE_OPEN_NOMUTEX;
    if (m == mode::write) {
        // Made here first so that it is 0600 whatever the umask: it holds passwords.
        int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) throw store_error("cannot open the connection store " + path_.string() + ": " + std::strerror(errno));
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0777) != 0600) ::fchmod(fd, 0600);
        ::close(fd);
        return flags | SQLITE_OPEN_READWRITE;
    }
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) throw store_error("no connection store at " + path_.string());
    // An empty file is an empty store (SQLite reads it as an empty database).
    if (st.st_size == 0) {
        empty_ = true;
        return 0;  // nothing to open
    }
    // Opened for writing when it may be, so that an older store can be brought up to date.
    return flags | (::access(path_.c_str(), W_OK) == 0 ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
}

// The settings, and the tables made or brought up to date; throws when the file is no store.
void connection_store::prepare_database(mode m, bool writable) {
    exec("PRAGMA foreign_keys=ON");
    // What is deleted is overwritten, so a deleted entry's password does not stay in the file.
    exec("PRAGMA secure_delete=ON");
    if (m == mode::write) {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
    }
    int found = 0;
    bool has_tables = false;
    {
        statement version(db_, "PRAGMA user_version");
        if (version.s == nullptr || sqlite3_step(version.s) != SQLITE_ROW) raise("not a connection store");
        found = sqlite3_column_int(version.s, 0);
        statement tables(db_, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='entries'");
        if (tables.s == nullptr || sqlite3_step(tables.s) != SQLITE_ROW) raise("not a connection store");
        has_tables = sqlite3_column_int(tables.s, 0) > 0;
    }
    if (found > store_version) raise("written by a newer version of this program");
    if (!has_tables) {
        if (!writable) raise("not a connection store");
        exec("BEGIN IMMEDIATE");
        exec(schema);
        exec(("PRAGMA user_version=" + std::to_string(store_version)).c_str());
        exec("COMMIT");
    } else if (found < store_version) {
        if (!writable) raise("an older store that cannot be brought up to date (read-only)");
        migrate();
    }
    // One row at most: a store of any size says here whether it can be read.
    statement st(db_, "SELECT 1 FROM entries LIMIT 1");
    if (st.s == nullptr) raise("not a connection store");
    int rc = sqlite3_step(st.s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) raise("cannot read");
}

void connection_store::migrate() {
    exec("BEGIN IMMEDIATE");
    try {
        // Another process may have brought it up to date while we waited for the lock.
        int now = 0;
        {
            statement version(db_, "PRAGMA user_version");
            if (version.s == nullptr || sqlite3_step(version.s) != SQLITE_ROW) raise("cannot read");
            now = sqlite3_column_int(version.s, 0);
        }
        if (now >= store_version) {
            exec("COMMIT");
            return;
        }
        std::vector<std::pair<sqlite3_int64, stored_entry>> rows;
        {
            statement all(db_, "SELECT id, name FROM entries ORDER BY id");
            if (all.s == nullptr) raise("cannot read");
            while (sqlite3_step(all.s) == SQLITE_ROW) rows.push_back({sqlite3_column_int64(all.s, 0), {all.column(1), {}, {}, {}}});
        }
        statement parms(db_, "SELECT name, value FROM parms WHERE entry_id = ?1 ORDER BY position");
        statement update(db_, "UPDATE entries SET name_key = ?1, document = ?2 WHERE id = ?3");
        if (parms.s == nullptr || update.s == nullptr) raise("cannot write");
        // Keys change under the new folding: first out of the way, so none meets an old one.
        exec("UPDATE entries SET name_key = '\x02' || id");
        std::set<std::string> keys;
        for (auto &[id, e] : rows) {
            sqlite3_reset(parms.s);
            sqlite3_bind_int64(parms.s, 1, id);
            while (sqlite3_step(parms.s) == SQLITE_ROW) e.parms.emplace_back(parms.column(0), parms.column(1));
            std::string key = fold_entry_name(e.name);
            // Two names the old folding told apart and this one does not: both are kept, the
            // later under a key of its own.
            if (!keys.insert(key).second) {
                key += '\x01';
                key += std::to_string(id);
            }
            keys.insert(key);
            sqlite3_reset(update.s);
            update.bind(1, key);
            update.bind(2, entry_document(e));
            sqlite3_bind_int64(update.s, 3, id);
            if (sqlite3_step(update.s) != SQLITE_DONE) raise("cannot write");
        }
        sqlite3_reset(parms.s);
        sqlite3_reset(update.s);
        exec(("PRAGMA user_version=" + std::to_string(store_version)).c_str());
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    // The old documents held every entry's values: rebuild the file without their pages.
    exec("VACUUM");
    exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

connection_store::~connection_store() { sqlite3_close(db_); }

void connection_store::raise(const std::string &what) const {
    throw store_error("connection store " + path_.string() + ": " + what + ": " + sqlite3_errmsg(db_));
}

void connection_store::exec(const char *sql) const {
    char *err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err != nullptr ? err : "error";
        sqlite3_free(err);
        throw store_error("connection store " + path_.string() + ": " + msg);
    }
}

bool connection_store::contains(const std::string &name) const {
    if (empty_) return false;
    statement taken(db_, "SELECT 1 FROM entries WHERE name_key = ?1");
    if (taken.s == nullptr) raise("cannot read");
    taken.bind(1, fold_entry_name(name));
    int rc = sqlite3_step(taken.s);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) raise("cannot read");
    return false;
}

void connection_store::insert(const std::vector<stored_entry> &entries, const before_commit &also) {
    if (db_ == nullptr) throw store_error("connection store " + path_.string() + ": opened for reading");
    // IMMEDIATE takes the write lock first, so two writers of one name cannot both pass the check.
    exec("BEGIN IMMEDIATE");
    try {
        statement taken(db_, "SELECT 1 FROM entries WHERE name_key = ?1");
        statement ins(db_, "INSERT INTO entries(name, name_key, document) VALUES(?1, ?2, ?3) RETURNING created");
        statement p(db_, "INSERT INTO parms(entry_id, position, name, value) VALUES(?1, ?2, ?3, ?4)");
        if (taken.s == nullptr || ins.s == nullptr || p.s == nullptr) raise("cannot write");
        std::vector<stored_entry> stored = entries;
        for (stored_entry &e : stored) {
            std::string key = fold_entry_name(e.name);
            sqlite3_reset(taken.s);
            taken.bind(1, key);
            int rc = sqlite3_step(taken.s);
            if (rc == SQLITE_ROW) throw entry_exists("an entry named \"" + e.name + "\" exists");
            if (rc != SQLITE_DONE) raise("cannot read");
            sqlite3_reset(ins.s);
            ins.bind(1, e.name);
            ins.bind(2, key);
            ins.bind(3, e.document.empty() ? entry_document(e) : e.document);
            if (sqlite3_step(ins.s) != SQLITE_ROW) raise("cannot write");
            e.created = ins.column(0);
            if (sqlite3_step(ins.s) != SQLITE_DONE) raise("cannot write");
            sqlite3_int64 id = sqlite3_last_insert_rowid(db_);
            int position = 0;
            for (const auto &[name, value] : e.parms) {
                sqlite3_reset(p.s);
                sqlite3_bind_int64(p.s, 1, id);
                sqlite3_bind_int(p.s, 2, position++);
                p.bind(3, name);
                p.bind(4, value);
                if (sqlite3_step(p.s) != SQLITE_DONE) raise("cannot write");
            }
        }
        if (also) also(stored);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    // Into the file now, as closing does when no other connection is open: with one open
    // (the dialog's name test) the log would otherwise grow until some later write pays for
    // it all. Passive: it never waits for a reader.
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

std::vector<stored_entry> connection_store::query(const char *where, const std::string *arg) const {
    if (empty_) return {};
    std::string sql = std::string("SELECT id, name, document, created FROM entries ") + where + " ORDER BY id";
    statement st(db_, sql.c_str());
    if (st.s == nullptr) raise("cannot read");
    if (arg != nullptr) st.bind(1, fold_entry_name(*arg));
    std::vector<stored_entry> out;
    std::vector<sqlite3_int64> ids;
    int rc = 0;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(st.s, 0));
        out.push_back({st.column(1), {}, st.column(2), st.column(3)});
    }
    if (rc != SQLITE_DONE) raise("cannot read");
    statement p(db_, "SELECT name, value FROM parms WHERE entry_id = ?1 ORDER BY position");
    if (p.s == nullptr) raise("cannot read");
    for (std::size_t i = 0; i < ids.size(); ++i) {
        sqlite3_reset(p.s);
        sqlite3_bind_int64(p.s, 1, ids[i]);
        while ((rc = sqlite3_step(p.s)) == SQLITE_ROW) out[i].parms.emplace_back(p.column(0), p.column(1));
        if (rc != SQLITE_DONE) raise("cannot read");
    }
    return out;
}

std::vector<stored_entry> connection_store::list() const { return query("", nullptr); }

void connection_store::each_name(const std::function<void(std::string_view)> &visit) const {
    if (empty_) return;
    statement st(db_, "SELECT name FROM entries ORDER BY id");
    if (st.s == nullptr) raise("cannot read");
    int rc = 0;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) visit(st.column_view(0));
    if (rc != SQLITE_DONE) raise("cannot read");
}

std::optional<stored_entry> connection_store::find(const std::string &name) const {
    auto found = query("WHERE name_key = ?1", &name);
    if (found.empty()) return std::nullopt;
    return found.front();
}

bool connection_store::remove(const std::string &name, const before_commit &also) {
    if (db_ == nullptr) throw store_error("connection store " + path_.string() + ": opened for reading");
    exec("BEGIN IMMEDIATE");
    bool removed = false;
    try {
        std::vector<stored_entry> found = query("WHERE name_key = ?1", &name);
        statement st(db_, "DELETE FROM entries WHERE name_key = ?1");
        if (st.s == nullptr) raise("cannot write");
        st.bind(1, fold_entry_name(name));
        if (sqlite3_step(st.s) != SQLITE_DONE) raise("cannot write");
        removed = sqlite3_changes(db_) > 0;
        if (removed && also) also(found);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    // The overwritten pages are in the write-ahead log until it is folded into the file.
    if (removed) exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return removed;
}

std::string connection_store::integrity_check() const {
    if (empty_) return "ok";
    statement st(db_, "PRAGMA integrity_check");
    if (st.s == nullptr) raise("cannot check");
    std::string out;
    while (sqlite3_step(st.s) == SQLITE_ROW) out += st.column(0);
    return out;
}

}  // namespace orvane_platform
