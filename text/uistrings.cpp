#include "uistrings.h"

#include <iterator>

#include "../provisioning/ui_exception.h"
#include "language_file.h"

namespace orvane_cr {
namespace {

constexpr const char16_t *english_texts[ui_string_count] = {
    u"Orvane Connection Manager",
    u"Connection created successfully",
    u"Could not create connection",
    u"Invalid connection name",
    u"Connection with such name already exists",
    u"APN",
    u"User Name",
    u"Operator Name",
    u"Modem",
    u"Connection Name",
    u"Password",
    u"Phone",
    u"Create",
    u"Exit",
    u"Connection",
    u"Custom",
};

}  // namespace

const char *ui_string_name(unsigned int id) {
    static const char *const names[] = {"app_title",       "connection_created",  "create_failed",
                                        "invalid_name",    "name_exists",         "label_apn",
                                        "label_user_name", "label_operator_name", "label_modem",
                                        "label_connection_name", "label_password", "label_phone",
                                        "command_create",  "command_exit",        "default_connection_name",
                                        "custom_operator"};
    static_assert(std::size(names) == ui_string_count);
    return id >= 1 && id <= ui_string_count ? names[id - 1] : nullptr;
}

const char16_t *english_ui_string(unsigned int id) {
    if (id < 1 || id > ui_string_count) return nullptr;
    return english_texts[id - 1];
}

std::u16string get_ui_string(ui_string_id id) {
    const char16_t *english = english_ui_string(id);
    if (english == nullptr) throw ui_exception(u"internal", ".\\uistrings", 59);
    // Built on first use, after the identifier check; a throwing construction is retried next time.
    static const language_table table;
    if (!table.loaded) return english;
    return table.translate(english);
}

}  // namespace orvane_cr
