// The connection store: the dial-up entries the configuration service has accepted.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane_platform {

struct store_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct entry_exists : store_error {
    using store_error::store_error;
};

struct stored_entry {
    std::string name;  // UTF-8, as given
    std::vector<std::pair<std::string, std::string>> parms;
    std::string document;
    std::string created;
};

// The value of the entry's parameter `name`; empty when it has none.
std::string parm_value(const stored_entry &e, std::string_view name);
// Case-insensitive key of an entry name, as registry keys compare (Unicode simple case folding).
std::string fold_entry_name(const std::string &utf8_name);
// The entry alone as a provisioning document: its own characteristic inside CM_PPPEntries.
std::string entry_document(const stored_entry &e);

class connection_store {
public:
    enum class mode { read, write };
    static std::filesystem::path default_path();
    static bool exists(const std::filesystem::path &path = default_path());

    // Opens the store; mode::write creates it (0600) when missing. An older store is brought
    // up to date. Throws store_error, also for a store or folder of another user.
    explicit connection_store(mode m, std::filesystem::path path = default_path());
    ~connection_store();
    connection_store(const connection_store &) = delete;
    connection_store &operator=(const connection_store &) = delete;

    bool contains(const std::string &name) const;
    // The step of a change that must be made with it or not at all: run once the store holds
    // the change, before it is committed; what it throws undoes the change.
    using before_commit = std::function<void(const std::vector<stored_entry> &changed)>;
    // All in one transaction; throws entry_exists when any name is taken, store_error otherwise.
    // `also` gets the entries as stored, their creation time included.
    void insert(const std::vector<stored_entry> &entries, const before_commit &also = {});
    std::vector<stored_entry> list() const;
    // The names alone, in the order stored, each handed to `visit` as it is read: a listing
    // of many entries then holds no copy of them all.
    void each_name(const std::function<void(std::string_view)> &visit) const;
    std::optional<stored_entry> find(const std::string &name) const;
    // False when no entry has that name; `also` gets the entry removed.
    bool remove(const std::string &name, const before_commit &also = {});
    std::string integrity_check() const;

private:
    void exec(const char *sql) const;
    [[noreturn]] void raise(const std::string &what) const;
    std::vector<stored_entry> query(const char *where, const std::string *arg) const;
    int prepare_file(mode m);
    void prepare_database(mode m, bool writable);
    void migrate();

    sqlite3 *db_ = nullptr;
    bool empty_ = false;  // an empty file: a store with no entries, not yet written
    std::filesystem::path path_;
};

}  // namespace orvane_platform
