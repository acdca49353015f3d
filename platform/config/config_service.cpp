#include <cfgmgrapi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <pugixml.hpp>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "../common/bounded_lock.h"
#include "../common/service_call.h"
#include "../common/utf.h"
#include "../device/device.h"
#include "../ras/entry_name.h"
#include "dialup.h"
#include "provisioning.h"

namespace orvane_platform {
namespace {

constexpr std::array<const char *, 14> known_parms = {
    "DestId",   "Phone",      "UseCountryAndAreaCodes", "DialAsLocalCall", "Script",   "UserName", "Password",
    "Domain",   "DeviceType", "DeviceName",             "DeviceSpecificRAW", "AreaCode", "CountryCode", "Enabled"};

bool known(const char *name) {
    return std::any_of(known_parms.begin(), known_parms.end(), [&](const char *k) { return std::strcmp(k, name) == 0; });
}

[[noreturn]] void refuse(const std::string &why) { throw document_error(why); }

bool only_attributes(const pugi::xml_node &n, std::initializer_list<const char *> allowed) {
    for (const pugi::xml_attribute &a : n.attributes()) {
        if (std::none_of(allowed.begin(), allowed.end(), [&](const char *x) { return std::strcmp(x, a.name()) == 0; })) {
            return false;
        }
    }
    return true;
}

// The elements inside `n`; text there is refused, comments and processing instructions pass.
std::vector<pugi::xml_node> elements_in(const pugi::xml_node &n) {
    std::vector<pugi::xml_node> out;
    for (const pugi::xml_node &c : n.children()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) refuse("unexpected text");
        if (c.type() == pugi::node_element) out.push_back(c);
    }
    return out;
}

bool has_element_or_text_children(const pugi::xml_node &n) {
    return std::any_of(n.children().begin(), n.children().end(), [](const pugi::xml_node &c) {
        return c.type() == pugi::node_element || c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata;
    });
}

}  // namespace

namespace {

std::string hex4(char16_t unit) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(unit >> shift) & 15];
    return out;
}

bool xml_char(unsigned long c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// XML 1.0 has no character outside its Char production (a surrogate, NUL, other control
// characters), neither raw nor as a reference: the parser would store what cannot be read
// back, or cut the value at a NUL.
void refuse_non_characters(std::u16string_view doc) {
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const char16_t unit = doc[i];
        if ((unit < 0x20 && !xml_char(unit)) || unit == 0xFFFE || unit == 0xFFFF) {
            refuse("not well-formed: a character XML does not allow (U+" + hex4(unit) + ") at offset " + std::to_string(i));
        }
        if (unit != u'&' || i + 1 >= doc.size() || doc[i + 1] != u'#') continue;
        std::size_t j = i + 2;
        bool hex = j < doc.size() && doc[j] == u'x';
        if (hex) ++j;
        unsigned long value = 0;
        std::size_t digits = 0;
        for (; j < doc.size() && digits < 9; ++j, ++digits) {
            char16_t d = doc[j];
            int v = d >= u'0' && d <= u'9' ? d - u'0'
                    : hex && d >= u'a' && d <= u'f' ? d - u'a' + 10
                    : hex && d >= u'A' && d <= u'F' ? d - u'A' + 10
                                                   : -1;
            if (v < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<unsigned long>(v);
        }
        if (digits == 0 || digits >= 9 || j >= doc.size() || doc[j] != u';' || !xml_char(value)) {
            refuse("not well-formed: a character reference to no XML character at offset " + std::to_string(i));
        }
    }
}

}  // namespace

std::vector<stored_entry> parse_provisioning_document(std::u16string_view document) {
    if (!is_valid_utf16(document)) refuse("the document holds an unpaired surrogate");
    refuse_non_characters(document);
    std::string utf8 = to_utf8(document);
    pugi::xml_document doc;
    // Attribute values stay exactly as written: no white-space or line-end normalisation.
    unsigned options = (pugi::parse_default & ~pugi::parse_wconv_attribute & ~pugi::parse_eol) | pugi::parse_doctype;
    pugi::xml_parse_result parsed = doc.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
    if (!parsed) refuse(std::string("not well-formed: ") + parsed.description() + " at offset " +
                        std::to_string(parsed.offset));
    if (std::any_of(doc.children().begin(), doc.children().end(), [](const pugi::xml_node &n) {
            return n.type() == pugi::node_doctype;
        })) {
        refuse("document type declarations are not accepted");
    }
    pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "wap-provisioningdoc") != 0) refuse("the root is not wap-provisioningdoc");
    std::vector<stored_entry> entries;
    std::unordered_set<std::string> keys;
    for (const pugi::xml_node &group : elements_in(root)) {
        if (std::strcmp(group.name(), "characteristic") != 0 ||
            std::strcmp(group.attribute("type").value(), "CM_PPPEntries") != 0 || !only_attributes(group, {"type"})) {
            refuse("only CM_PPPEntries characteristics are accepted");
        }
        for (const pugi::xml_node &entry : elements_in(group)) {
            if (std::strcmp(entry.name(), "characteristic") != 0 || !entry.attribute("type") ||
                !only_attributes(entry, {"type"})) {
                refuse("a CM_PPPEntries entry must be a characteristic with a type");
            }
            stored_entry e;
            e.name = entry.attribute("type").value();
            if (!entry_name_valid(from_utf8(e.name))) refuse("invalid entry name \"" + e.name + "\"");
            for (const pugi::xml_node &parm : elements_in(entry)) {
                if (std::strcmp(parm.name(), "parm") != 0 || !parm.attribute("name") || !parm.attribute("value") ||
                    !only_attributes(parm, {"name", "value"}) || has_element_or_text_children(parm)) {
                    refuse("each parameter must be <parm name=\"...\" value=\"...\"/>");
                }
                const char *name = parm.attribute("name").value();
                if (!known(name)) refuse(std::string("unknown parameter \"") + name + "\"");
                if (std::any_of(e.parms.begin(), e.parms.end(), [&](const auto &p) { return p.first == name; })) {
                    refuse(std::string("parameter \"") + name + "\" given twice");
                }
                e.parms.emplace_back(name, parm.attribute("value").value());
            }
            if (!keys.insert(fold_entry_name(e.name)).second) refuse("entry \"" + e.name + "\" given twice");
            // Each entry keeps its own part of the document, nothing of another's.
            e.document = entry_document(e);
            entries.push_back(std::move(e));
        }
    }
    if (entries.empty()) refuse("the document holds no entry");
    return entries;
}

namespace {

// Held while a name is tested in NetworkManager and the entries added there, by every user of
// the program on this machine: two users adding names that fold alike at once would otherwise
// both find the name free. A file in the machine's shared lock folder, opened for reading so
// that any user can lock it; the lock ends with the process, whatever becomes of it.
class machine_lock {
public:
    machine_lock() {
        const char *folder = ::access("/run/lock", W_OK | X_OK) == 0 ? "/run/lock" : "/tmp";
        path_ = std::string(folder) + "/orvane-networkmanager.lock";
        // Opened as it is, else made: O_CREAT on another user's file in a sticky folder is
        // refused where protected_regular is on.
        for (int tries = 0; fd_ < 0 && tries < 3; ++tries) {
            fd_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd_ < 0 && errno == ENOENT) {
                fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
            }
            if (fd_ < 0 && errno != EEXIST && errno != ENOENT) break;
        }
        if (fd_ < 0) throw dialup_error("the lock " + path_ + " cannot be opened: " + std::strerror(errno));
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw dialup_error("the lock " + path_ + " is not a plain file");
        }
        // Made under a tight umask, it would shut other users out; under umask 000, open to writing.
        if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0644) ::fchmod(fd_, 0644);
        const service_call limits = service_limits();
        std::string why;
        if (!lock_exclusive_within(fd_, limits.timeout_ms, limits.ending, why)) {
            ::close(fd_);
            throw dialup_error("the lock " + path_ + " " + why);
        }
    }
    ~machine_lock() { ::close(fd_); }
    machine_lock(const machine_lock &) = delete;
    machine_lock &operator=(const machine_lock &) = delete;

private:
    std::string path_;
    int fd_ = -1;
};

// Each entry into the store and into the running NetworkManager: both or neither.
void insert_with_networkmanager(connection_store &store, const std::vector<stored_entry> &entries,
                                const device_profile &profile) {
    machine_lock lock;
    std::vector<std::string> names;
    for (const stored_entry &e : entries) names.push_back(e.name);
    if (auto n = name_like(networkmanager_connections(), names)) {
        throw entry_exists("NetworkManager has a connection named \"" + *n + "\"");
    }
    std::vector<dialup_connection> tried;
    try {
        store.insert(entries, [&](const std::vector<stored_entry> &stored) {
            for (const stored_entry &e : stored) {
                // Noted before it is asked for: an addition cut short may still have been made.
                tried.push_back(dialup_connection_of(e, &profile));
                networkmanager_add(tried.back());
            }
        });
    } catch (...) {
        for (const dialup_connection &c : tried) {
            try {
                networkmanager_remove(c, removal::undo);
            } catch (const std::exception &) {  // NetworkManager went away: nothing more can be undone
            }
        }
        throw;
    }
}

// The profile that says where entries go; one that cannot be used says nothing of it.
device_profile store_profile() {
    device_profile profile = load_device_profile();
    if (!profile.valid) throw store_error(profile.error);
    return profile;
}

}  // namespace

long process_provisioning_document(std::u16string_view document, std::string *error) {
    try {
        device_profile profile = store_profile();
        if (profile.faults.count("DMProcessConfigXML") != 0) {
            if (error != nullptr) *error = "the configuration service is failing (device.toml faults)";
            return E_FAIL;
        }
        std::vector<stored_entry> entries = parse_provisioning_document(document);
        connection_store store(connection_store::mode::write);
        if (profile.networkmanager) {
            insert_with_networkmanager(store, entries, profile);
        } else {
            store.insert(entries);
        }
        return S_OK;
    } catch (const document_error &e) {
        if (error != nullptr) *error = e.what();
        return E_INVALIDARG;
    } catch (const entry_exists &e) {
        if (error != nullptr) *error = e.what();
        return CONFIG_E_ENTRY_EXISTS;
    } catch (const std::bad_alloc &) {
        if (error != nullptr) *error = "out of memory";
        return E_OUTOFMEMORY;
    } catch (const std::exception &e) {
        if (error != nullptr) *error = e.what();
        return E_FAIL;
    }
}

deletion delete_connection(const std::string &name) {
    const device_profile profile = store_profile();
    deletion done;
    if (!connection_store::exists()) return done;
    connection_store store(connection_store::mode::write);
    if (!profile.networkmanager) {
        done.found = store.remove(name);
        return done;
    }
    done.found = store.remove(name, [&](const std::vector<stored_entry> &removed) {
        for (const stored_entry &e : removed) {
            // Its UUID is all NetworkManager needs, and an entry whose block cannot be read has one too.
            dialup_connection c;
            c.name = e.name;
            c.created = e.created;
            c.device_id = device_identity();
            done.networkmanager_asked = true;
            done.networkmanager_name = networkmanager_remove(c);
        }
    });
    return done;
}

}  // namespace orvane_platform

HRESULT DMProcessConfigXML(LPCWSTR config_xml, DWORD flags, LPWSTR *reply) {
    if (reply != nullptr) *reply = nullptr;
    if (config_xml == nullptr || reply == nullptr || (flags & CFGFLAG_PROCESS) == 0) return E_INVALIDARG;
    std::u16string_view doc(config_xml);
    std::string why;
    auto hr = static_cast<HRESULT>(orvane_platform::process_provisioning_document(doc, &why));
    // The handheld's own answer is a code; the reason goes where the user finds it.
    if (FAILED(hr) && !why.empty()) orvane_platform::add_device_notice("the connection was not created: " + why);
    if (SUCCEEDED(hr)) {
        auto *copy = new (std::nothrow) WCHAR[doc.size() + 1];
        if (copy != nullptr) {
            std::copy(doc.begin(), doc.end(), copy);
            copy[doc.size()] = 0;
            *reply = copy;
        }
    }
    return hr;
}
