// The user-interface texts, fetched by identifier and translated by the language file.
#pragma once

#include <string>

namespace orvane_cr {

enum ui_string_id : unsigned int {
    app_title = 1,
    connection_created = 2,
    create_failed = 3,
    invalid_name = 4,
    name_exists = 5,
    label_apn = 6,
    label_user_name = 7,
    label_operator_name = 8,
    label_modem = 9,
    label_connection_name = 10,
    label_password = 11,
    label_phone = 12,
    command_create = 13,
    command_exit = 14,
    default_connection_name = 15,
    custom_operator = 16,
};

inline constexpr unsigned int ui_string_count = 16;

// The identifier's name as it stands above ("label_apn"), or nullptr when it is invalid.
const char *ui_string_name(unsigned int id);

// The English text of an identifier, or nullptr when it is invalid.
const char16_t *english_ui_string(unsigned int id);

std::u16string get_ui_string(ui_string_id id);

}  // namespace orvane_cr
