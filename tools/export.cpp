#include "export.h"

#include <cctype>


namespace orvane_export {
namespace {

// Any control character ends a line or a word in the files pppd and chat read.
void refuse_controls(const std::string &value, const std::string &what) {
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F) {
            throw export_error(what + " holds a control character (a line break, a tab or a NUL), which " +
                               "pppd and chat cannot carry");
        }
    }
}

// A send string of chat, in single quotes: chat reads \\ \' and \^ as the characters,
// and would take a bare ^X for a control character.
std::string chat_string(const std::string &value, const std::string &what) {
    refuse_controls(value, what);
    std::string out = "'";
    for (char c : value) {
        if (c == '\\' || c == '\'' || c == '^') out += '\\';
        out += c;
    }
    return out + "'";
}

// A word of a pppd options file, in double quotes, with \ and " escaped.
std::string pppd_word(const std::string &value, const std::string &what) {
    refuse_controls(value, what);
    std::string out = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// An APN as a modem takes it, and as NetworkManager checks it: at most 64 letters, digits,
// ".", "_" and "-".
void check_apn(const std::string &apn) {
    if (apn.size() > 64) throw export_error("the APN is longer than 64 characters, which a modem cannot take");
    for (char c : apn) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0 && u < 0x80) continue;
        if (c == '.' || c == '_' || c == '-') continue;
        std::string message = "the APN holds ";
        if (u >= 0x80) {
            message += "a character beyond ASCII";
        } else if (c == ' ') {
            message += "a space";
        } else if (u < 0x20 || u == 0x7F) {
            message += "a control character";
        } else {
            message += '"';
            message += c;
            message += '"';
        }
        message += ", which a modem cannot take (letters, digits, \".\", \"_\" and \"-\" only)";
        throw export_error(message);
    }
}

// The speeds a Linux serial device can be set to, which pppd takes.
bool serial_speed(std::uint32_t baud) {
    static constexpr std::uint32_t speeds[] = {50,     75,     110,    134,    150,     200,     300,     600,
                                               1200,   1800,   2400,   4800,   9600,    19200,   38400,   57600,
                                               115200, 230400, 460800, 500000, 576000,  921600,  1000000, 1152000,
                                               1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    for (std::uint32_t s : speeds) {
        if (s == baud) return true;
    }
    return false;
}

}  // namespace

std::string shell_word(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string pppd_file_name(const std::string &name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u & 0xC0) == 0x80) continue;  // the rest of a character already made "_"
        bool kept = (std::isalnum(u) != 0 && u < 0x80) || c == '.' || c == '_' || c == '+' || c == '-';
        out += kept && !(out.empty() && c == '-') ? c : '_';
    }
    return out;
}

pppd_files pppd_export(const connection &c, const std::string &port, const std::string &chat_path) {
    pppd_files f;
    std::string modifier_command;
    if (c.apn) {
        check_apn(*c.apn);
        modifier_command = chat_string("AT+CGDCONT=1,\"" + c.pdp_type + "\",\"" + *c.apn + "\"", "the APN");
    }
    // ATD alone dials nothing, and a ";" ends the number as a voice call.
    if (c.phone.empty()) throw export_error("the entry has no phone number to dial");
    if (c.phone.find(';') != std::string::npos) {
        throw export_error("the phone number holds \";\", which makes the modem place a voice call");
    }
    std::string dial = chat_string("ATD" + c.phone, "the phone number");
    if (c.password.size() > 255) throw export_error("the password is longer than the 255 bytes pppd takes");
    if (!serial_speed(c.baud)) {
        throw export_error("the speed " + std::to_string(c.baud) + " is not one a Linux serial device can be set to");
    }

    f.chat = "# chat script of the connection " + pppd_word(c.name, "the name") + ", exported by orvane-device\n";
    for (const char *abort : {"BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR"}) {
        f.chat += std::string("ABORT '") + abort + "'\n";
    }
    f.chat += "TIMEOUT 30\n";
    // Echo off first: a modem's echo of "ERROR.NET" would abort, and one of "OK" would answer.
    f.chat += "'' 'ATE0'\n";
    if (!modifier_command.empty()) f.chat += "OK " + modifier_command + "\n";
    f.chat += "OK " + dial + "\n";
    f.chat += "CONNECT '\\c'\n";

    f.peers = "# pppd peers file of the connection " + pppd_word(c.name, "the name") + ", exported by orvane-device\n";
    f.peers += pppd_word(port, "the serial device") + "\n";
    f.peers += std::to_string(c.baud) + "\n";
    f.peers += "connect " + pppd_word("/usr/sbin/chat -v -f " + shell_word(chat_path), "the chat script's path") + "\n";
    if (!c.user.empty()) f.peers += "user " + pppd_word(c.user, "the user name") + "\n";
    if (!c.password.empty()) f.peers += "password " + pppd_word(c.password, "the password") + "\n";
    f.peers += "noauth\ndefaultroute\nusepeerdns\nnopersist\n";
    return f;
}

}  // namespace orvane_export
