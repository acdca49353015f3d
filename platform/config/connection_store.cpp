#include "connection_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cwctype>
#include <locale.h>

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
    std::string column(int i) const {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
        return p == nullptr ? std::string() : std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
    }
};

locale_t folding_locale() {
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        return l != nullptr ? l : newlocale(LC_CTYPE_MASK, "C", nullptr);
    }();
    return loc;
}

}  // namespace

std::string fold_entry_name(const std::string &utf8_name) {
    std::u32string wide = to_utf32(from_utf8(utf8_name));
    std::u16string folded;
    for (char32_t c : wide) {
        append_utf16(folded, static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), folding_locale())));
    }
    return to_utf8(folded);
}

std::filesystem::path connection_store::default_path() { return device_folder_path() / "connections.db"; }

bool connection_store::exists(const std::filesystem::path &path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

connection_store::connection_store(mode m, std::filesystem::path path) : path_(std::move(path)) {
    int flags = SQLITE_OPEN_NOMUTEX;
    if (m == mode::write) {
        ensure_device_folder();
        // Made here first so that it is 0600 whatever the umask: it holds passwords.
        int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) throw store_error("cannot open the connection store " + path_.string());
        struct stat st {};
        if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 0777) != 0600) fchmod(fd, 0600);
        ::close(fd);
        flags |= SQLITE_OPEN_READWRITE;
    } else {
        if (!exists(path_)) throw store_error("no connection store at " + path_.string());
        flags |= SQLITE_OPEN_READONLY;
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw store_error("cannot open the connection store " + path_.string() + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
    try {
        exec("PRAGMA foreign_keys=ON");
        if (m == mode::write) {
            exec("PRAGMA journal_mode=WAL");
            exec("PRAGMA synchronous=FULL");
            exec(schema);
        } else {
            // Reading needs the schema too; a file that is no store says so here.
            statement st(db_, "SELECT count(*) FROM entries");
            if (st.s == nullptr) raise("not a connection store");
            int rc = sqlite3_step(st.s);
            if (rc != SQLITE_ROW) raise("cannot read");
        }
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
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
    statement st(db_, "SELECT 1 FROM entries WHERE name_key = ?1");
    if (st.s == nullptr) raise("cannot read");
    st.bind(1, fold_entry_name(name));
    int rc = sqlite3_step(st.s);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) raise("cannot read");
    return false;
}

void connection_store::insert(const std::vector<stored_entry> &entries) {
    // IMMEDIATE takes the write lock first, so two writers of one name cannot both pass the check.
    exec("BEGIN IMMEDIATE");
    try {
        for (const stored_entry &e : entries) {
            if (contains(e.name)) throw entry_exists("an entry named \"" + e.name + "\" exists");
            statement ins(db_, "INSERT INTO entries(name, name_key, document) VALUES(?1, ?2, ?3)");
            if (ins.s == nullptr) raise("cannot write");
            ins.bind(1, e.name);
            ins.bind(2, fold_entry_name(e.name));
            ins.bind(3, e.document);
            if (sqlite3_step(ins.s) != SQLITE_DONE) raise("cannot write");
            sqlite3_int64 id = sqlite3_last_insert_rowid(db_);
            int position = 0;
            for (const auto &[name, value] : e.parms) {
                statement p(db_, "INSERT INTO parms(entry_id, position, name, value) VALUES(?1, ?2, ?3, ?4)");
                if (p.s == nullptr) raise("cannot write");
                sqlite3_bind_int64(p.s, 1, id);
                sqlite3_bind_int(p.s, 2, position++);
                p.bind(3, name);
                p.bind(4, value);
                if (sqlite3_step(p.s) != SQLITE_DONE) raise("cannot write");
            }
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<stored_entry> connection_store::query(const char *where, const std::string *arg) const {
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

std::optional<stored_entry> connection_store::find(const std::string &name) const {
    auto found = query("WHERE name_key = ?1", &name);
    if (found.empty()) return std::nullopt;
    return found.front();
}

bool connection_store::remove(const std::string &name) {
    statement st(db_, "DELETE FROM entries WHERE name_key = ?1");
    if (st.s == nullptr) raise("cannot write");
    st.bind(1, fold_entry_name(name));
    if (sqlite3_step(st.s) != SQLITE_DONE) raise("cannot write");
    return sqlite3_changes(db_) > 0;
}

std::string connection_store::integrity_check() const {
    statement st(db_, "PRAGMA integrity_check");
    if (st.s == nullptr) raise("cannot check");
    std::string out;
    while (sqlite3_step(st.s) == SQLITE_ROW) out += st.column(0);
    return out;
}

}  // namespace orvane_platform
