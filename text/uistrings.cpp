#include "uistrings.h"

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
