// A stored entry as pppd dials it: a peers file with its chat script.
#pragma once

#include <string>
#include <string_view>

#include "config/dialup.h"

namespace orvane_export {

// What pppd, chat, the modem or NetworkManager cannot take.
using export_error = orvane_platform::dialup_error;
using connection = orvane_platform::dialup_connection;

struct pppd_files {
    std::string peers;  // the peers file
    std::string chat;   // its chat script
};
// `port` is the serial device, `chat_path` where the chat script will lie. Throws
// export_error for a value that pppd, chat or the modem cannot take.
pppd_files pppd_export(const connection &c, const std::string &port, const std::string &chat_path);
// The name of the peers file, one that `pon` takes as it is: letters, digits, ".", "_", "+"
// and "-" kept, every other character made "_", and no "-" first.
std::string pppd_file_name(const std::string &name);

// One word for sh: in single quotes, each ' written as '\\''.
std::string shell_word(std::string_view value);

}  // namespace orvane_export
