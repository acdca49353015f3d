#include <ras.h>

#include <sys/stat.h>

#include <cwctype>
#include <locale.h>

#include "../common/utf.h"
#include "../config/connection_store.h"
#include "../config/dialup.h"
#include "../device/device.h"
#include "entry_name.h"

#define ERROR_CANNOT_OPEN_PHONEBOOK 615
#define ERROR_CAN_NOT_COMPLETE 1003

namespace orvane_platform {

bool entry_name_valid(std::u16string_view name) {
    if (name.empty() || name.size() > max_entry_name) return false;
    if (name.front() == u'\\' || name.front() == u'.') return false;
    if (!is_valid_utf16(name)) return false;
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    bool has_alnum = false;
    for (char32_t c : to_utf32(name)) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
        if (std::u16string_view(u"|><?*\\/:").find(static_cast<char16_t>(c)) != std::u16string_view::npos &&
            c < 0x80) {
            return false;
        }
        bool alnum = loc != nullptr ? iswalnum_l(static_cast<wint_t>(c), loc) != 0
                                    : (c < 0x80 && std::iswalnum(static_cast<wint_t>(c)) != 0);
        has_alnum = has_alnum || alnum;
    }
    return has_alnum;
}

namespace {

bool stored(const std::string &utf8_name) {
    std::string path = device_file("connections.db");
    struct stat st {};
    // No store, or an empty one, holds no name.
    if (::stat(path.c_str(), &st) != 0 || st.st_size == 0) return false;
    return connection_store(connection_store::mode::read, path).contains(utf8_name);
}

// A name NetworkManager has is taken when entries go there too. Its connections are read once
// a process, at the first name tested: the dialog tests up to a hundred names as it starts, and
// Create has the configuration service read them afresh. A list that could not be read whole
// takes every name, and the reason is noted.
bool taken_in_networkmanager(const std::string &utf8_name) {
    static std::optional<std::vector<connection_ref>> theirs;
    static std::string why;
    if (!theirs && why.empty()) {
        try {
            theirs = networkmanager_connections();
        } catch (const dialup_error &e) {
            why = e.what();
            add_device_notice(why);
        }
    }
    if (!theirs) throw dialup_error(why);
    return name_like(*theirs, {utf8_name}).has_value();
}

bool name_taken(const std::string &utf8_name, const device_profile &profile) {
    return stored(utf8_name) || (profile.networkmanager && taken_in_networkmanager(utf8_name));
}

}  // namespace
}  // namespace orvane_platform

DWORD RasValidateEntryName(LPCWSTR phone_book, LPCWSTR entry_name) {
    using namespace orvane_platform;
    if (phone_book != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
    if (entry_name == nullptr) return ERROR_INVALID_NAME;
    std::u16string_view name(entry_name);
    if (!entry_name_valid(name)) return ERROR_INVALID_NAME;
    const device_profile profile = load_device_profile();
    if (profile.faults.count("RasValidateEntryName") != 0) return ERROR_CAN_NOT_COMPLETE;
    try {
        return name_taken(to_utf8(name), profile) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    } catch (const std::exception &) {
        return ERROR_CAN_NOT_COMPLETE;
    }
}
