// orvane-data: tools for those who write the program's data files.
//   import: an operators file from the mobile broadband provider database
//   check:  what the program will read from a language or operators file, and what it will not

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/small_file.h"
#include "common/utf.h"
#include "config/connection_store.h"
#include "presets/operator_presets.h"
#include "presets/xml_reader.h"
#include "text/language_file.h"
#include "text/uistrings.h"
#include "tool_io.h"

namespace {

namespace fs = std::filesystem;
using orvane_platform::from_utf8;
using orvane_platform::to_utf8;
using orvane_tools::in_quotes;
using orvane_tools::not_utf16le;
using orvane_tools::printable;
using orvane_tools::running_program;
using orvane_tools::tool_error;
using orvane_tools::usage_error;

constexpr const char *default_database = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml";

// ---------------------------------------------------------------- import

struct imported {
    std::string key;  // the name folded, for sorting
    std::string country;
    std::string name;
    std::string user;
    std::string password;
    std::string apn;
    std::vector<std::string> networks;  // MCC and MNC, each
    bool primary = false;
};

std::string child_text(const pugi::xml_node &n, const char *name) { return n.child(name).text().get(); }

std::string escape_amp(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '&') {
            out += "&amp;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string operator_tag(const imported &e) {
    std::string tag = "operator Name=\"" + escape_amp(e.name) + "\" User=\"" + escape_amp(e.user) + "\" Pwd=\"" +
                      escape_amp(e.password) + "\" Apn=\"" + escape_amp(e.apn) + "\" Phone=\"*99***1#\"";
    if (!e.networks.empty()) {
        tag += " Networks=\"";
        for (const std::string &n : e.networks) tag += (&n == e.networks.data() ? "" : " ") + n;
        tag += '"';
    }
    if (e.primary) tag += " Primary=\"1\"";
    return tag;
}

// A provider's networks as the operators file writes them; an identifier that is no MCC of 3
// digits and MNC of 2 or 3 is left out and counted.
std::vector<std::string> networks_of(const pugi::xml_node &provider, int &unusable) {
    std::vector<std::string> out;
    auto digits = [](const std::string &s) { return s.find_first_not_of("0123456789") == std::string::npos; };
    for (const pugi::xml_node &id : provider.child("gsm").children("network-id")) {
        std::string mcc = id.attribute("mcc").value();
        std::string mnc = id.attribute("mnc").value();
        if (mcc.size() != 3 || mnc.size() < 2 || mnc.size() > 3 || !digits(mcc) || !digits(mnc)) {
            ++unusable;
            continue;
        }
        if (std::find(out.begin(), out.end(), mcc + mnc) == out.end()) out.push_back(mcc + mnc);
    }
    return out;
}

// Why the operators file cannot carry an entry, or empty when it can.
std::string cannot_carry(const imported &e) {
    for (const std::string *field : {&e.name, &e.user, &e.password, &e.apn}) {
        if (field->find('"') != std::string::npos) return "a double quote";
        if (field->find_first_of("\t\r\n") != std::string::npos) return "a tab or line break";
        if (field->find('>') != std::string::npos) return "a \">\", which would end the tag";
    }
    // The tag as the reader sees it: the units between "<" and "/>".
    if (from_utf8(operator_tag(e)).size() > 255) return "a tag longer than 255 characters";
    return {};
}

// The operators file the program reads: next to the real orvanecmgr (beside this tool in the
// build tree, a link away when installed), and through the links an installation makes
// there into the configuration folder, so the link itself is never replaced.
fs::path program_operators_file() {
    fs::path self = running_program();
    std::error_code ec;
    fs::path program = fs::canonical(self.parent_path() / "orvanecmgr", ec);
    fs::path file = (ec ? self.parent_path() : program.parent_path()) / "orvanecmgr.xml";
    for (int hops = 0; hops < 40 && fs::is_symlink(file, ec); ++hops) {
        fs::path to = fs::read_symlink(file, ec);
        if (ec) break;
        file = to.is_absolute() ? to : file.parent_path() / to;
    }
    return file;
}

// Standard input read whole, as a file of at most the size the program reads.
std::string standard_input() {
    std::string bytes;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw tool_error(std::string("cannot read standard input: ") + std::strerror(errno));
        if (n == 0) return bytes;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > orvane_platform::max_data_file) throw tool_error("standard input is larger than 64 MiB");
    }
}

int run_import(const std::vector<std::string> &countries_in, const std::string &output, bool force,
               const std::string &database) {
    pugi::xml_document doc;
    std::string piped;
    if (database == "-") piped = standard_input();
    pugi::xml_parse_result r =
        database == "-" ? doc.load_buffer(piped.data(), piped.size()) : doc.load_file(database.c_str());
    if (!r) {
        throw tool_error(in_quotes(database) + ": " + r.description() +
                         (r.status == pugi::status_file_not_found ? "" : " at byte " + std::to_string(r.offset)));
    }
    std::set<std::string> countries;
    for (std::string c : countries_in) {
        std::transform(c.begin(), c.end(), c.begin(), [](unsigned char ch) { return std::tolower(ch); });
        countries.insert(c);
    }
    std::vector<imported> entries;
    int skipped = 0;
    pugi::xml_node root = doc.child("serviceproviders");
    if (!root) throw tool_error(in_quotes(database) + ": not a provider database (no <serviceproviders>)");
    std::map<std::string, std::size_t> found_in;
    for (const pugi::xml_node &country : root.children("country")) {
        std::string code = country.attribute("code").value();
        if (!countries.empty() && countries.count(code) == 0) continue;
        found_in[code];
        for (const pugi::xml_node &provider : country.children("provider")) {
            std::string provider_name = child_text(provider, "name");
            int unusable = 0;
            const std::vector<std::string> networks = networks_of(provider, unusable);
            if (unusable > 0) {
                std::cerr << "orvane-data: " << printable(code) << " " << in_quotes(provider_name) << ": left out "
                          << unusable << " network identifier(s) that are no MCC and MNC\n";
            }
            std::vector<pugi::xml_node> apns;
            for (const pugi::xml_node &apn : provider.child("gsm").children("apn")) {
                pugi::xml_node usage = apn.child("usage");
                std::string type = usage ? usage.attribute("type").value() : "internet";
                if (type == "internet") apns.push_back(apn);
            }
            for (const pugi::xml_node &apn : apns) {
                imported e;
                e.country = code;
                e.name = provider_name;
                if (apns.size() > 1) {
                    std::string own = child_text(apn, "name");
                    e.name += " (" + (own.empty() ? std::string(apn.attribute("value").value()) : own) + ")";
                }
                e.user = child_text(apn, "username");
                e.password = child_text(apn, "password");
                e.apn = apn.attribute("value").value();
                e.primary = std::string_view(provider.attribute("primary").value()) == "true";
                std::string why = cannot_carry(e);
                // As many of the networks as the tag has room for (digits and spaces: only its
                // length can stop them).
                e.networks = networks;
                while (why.empty() && !e.networks.empty() && !cannot_carry(e).empty()) e.networks.pop_back();
                if (why.empty() && e.networks.size() < networks.size()) {
                    std::cerr << "orvane-data: " << printable(code) << " " << in_quotes(e.name) << ": kept "
                              << e.networks.size() << " of its " << networks.size()
                              << " network identifiers; the others do not fit the tag's 255 characters\n";
                }
                if (!why.empty()) {
                    std::cerr << "orvane-data: left out " << printable(code) << " " << in_quotes(e.name) << ": it holds "
                              << why << "\n";
                    ++skipped;
                    continue;
                }
                ++found_in[code];
                entries.push_back(std::move(e));
            }
        }
    }
    for (const std::string &c : countries) {
        if (found_in[c] == 0) throw tool_error("no operator of the country " + in_quotes(c) + " in " + in_quotes(database));
    }
    // By name without regard to case, as a reader looks for a name ("blau.de" next to "Base").
    for (imported &e : entries) e.key = orvane_platform::fold_entry_name(e.name);
    std::stable_sort(entries.begin(), entries.end(), [](const imported &a, const imported &b) {
        if (a.country != b.country) return a.country < b.country;
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    const bool to_stdout = output == "-";
    fs::path target = output.empty() ? program_operators_file() : fs::path(output);
    if (!to_stdout) orvane_tools::check_replaceable(target, force);
    std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<root>\r\n";
    for (const imported &e : entries) {
        text += u'<';
        text += from_utf8(operator_tag(e));
        text += u"/>\r\n";
    }
    text += u"</root>\r\n";
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    if (to_stdout) {
        std::cout << bytes << std::flush;
        // Said only once it is written: a full disk is the error finish_output reports.
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return 0;
        std::cerr << "orvane-data: wrote " << entries.size() << " operators to standard output";
    } else {
        orvane_tools::write_file(target, bytes, force, 0644);
        std::cerr.flush();
        std::cout << "wrote " << entries.size() << " operators to " << printable(target.string());
    }
    std::ostream &report = to_stdout ? std::cerr : std::cout;
    if (skipped > 0) report << " (" << skipped << " left out)";
    report << "\n";
    return 0;
}

// ---------------------------------------------------------------- check

struct diagnostics {
    std::string file;
    int count = 0;
    void at(std::size_t line, const std::string &message) {
        note(line, message);
        ++count;
    }
    // Worth knowing, not wrong.
    void note(std::size_t line, const std::string &message) const {
        std::cout << file << ":" << line << ": " << message << "\n";
    }
};

// Reads a data file as the program does: only a regular file, opened without blocking, so
// that a FIFO or a device gets a finding, never a hang or unbounded memory.
bool read_data_file(const std::string &path, std::string &bytes, diagnostics &d) {
    using orvane_platform::small_file_status;
    int error = 0;
    switch (orvane_platform::read_small_file(path, orvane_platform::max_data_file, bytes, &error)) {
    case small_file_status::ok:
        return true;
    case small_file_status::folder:
        d.at(1, "a folder, not a file: the program treats it as missing");
        return false;
    case small_file_status::not_regular:
        d.at(1, "not a regular file (a FIFO or a device): the program treats it as missing");
        return false;
    case small_file_status::too_large:
        d.at(1, "the file is larger than 64 MiB: the program treats it as unusable");
        return false;
    case small_file_status::missing:
    case small_file_status::unreadable:
        break;
    }
    throw tool_error("cannot read " + in_quotes(path) + ": " + std::strerror(error));
}

// Says what the bytes are; false when they are not UTF-16LE, which the program needs.
bool check_encoding(const std::string &bytes, diagnostics &d) {
    if (std::string why = not_utf16le(bytes); !why.empty()) {
        d.at(1, why);
        return false;
    }
    if (bytes.size() % 2 != 0) d.at(1, "the file has an odd number of bytes; the last byte is ignored");
    return true;
}

std::u16string units_of(const std::string &bytes) {
    std::u16string u(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < u.size(); ++i) {
        u[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return u;
}

// Lines of unit offsets, counting CR LF, LF and CR each as one line end. Offsets asked in
// increasing order cost one pass over the text in all.
class line_counter {
public:
    explicit line_counter(std::u16string_view text) : text_(text) {}
    std::size_t at(std::size_t offset) {
        if (offset < pos_) {
            pos_ = 0;
            line_ = 1;
        }
        for (; pos_ < offset && pos_ < text_.size(); ++pos_) {
            char16_t c = text_[pos_];
            if (c == u'\n' || (c == u'\r' && (pos_ + 1 >= text_.size() || text_[pos_ + 1] != u'\n'))) ++line_;
        }
        return line_;
    }

private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

std::string quoted_text(std::u16string_view s) { return in_quotes(to_utf8(s)); }

void check_language(const std::u16string &text, diagnostics &d) {
    std::set<std::u16string> english;
    for (unsigned id = 1; id <= orvane_cr::ui_string_count; ++id) english.insert(orvane_cr::english_ui_string(id));
    orvane_cr::language_table table{std::u16string{}};
    std::map<std::u16string, std::size_t> seen;
    std::size_t stop_line = 0;
    bool stopped_early = false;
    std::size_t entries = 0;
    std::size_t consumed = 0;
    orvane_cr::for_each_language_line(text, [&](std::u16string_view line, std::size_t number) {
        consumed = static_cast<std::size_t>(line.data() - text.data()) + line.size();
        orvane_cr::language_table probe{std::u16string{}};
        if (!orvane_cr::parse_entry(probe, line)) {
            stop_line = number;
            // The empty line after the last one is the normal end.
            stopped_early = !line.empty() || consumed < text.size();
            return false;
        }
        orvane_cr::parse_entry(table, line);
        ++entries;
        const auto &[key, value] = *probe.entries().begin();
        if (english.count(key) == 0) d.at(number, quoted_text(key) + " matches none of the program's texts");
        if (auto it = seen.find(key); it != seen.end()) {
            d.at(number, quoted_text(key) + " given again (first on line " + std::to_string(it->second) +
                             "); this later one wins");
        } else {
            seen.emplace(key, number);
        }
        if (value.empty()) d.at(number, "the translation of " + quoted_text(key) + " is empty; the text will be blank");
        if (key == orvane_cr::english_ui_string(orvane_cr::default_connection_name)) {
            if (std::string why = orvane_tools::proposed_name_problem(value); !why.empty()) d.at(number, why);
        }
        return true;
    });
    if (stopped_early) {
        if (stop_line == 1 && !text.empty() && (text[0] == u'\r' || text[0] == u'\n')) {
            d.at(1, "the file starts with an empty line: loading stops there and nothing is read");
        } else {
            d.at(stop_line, "loading stops here: the line is not \"[English text] [translation]\"; no later line is read");
        }
    }
    std::cout << d.file << ": the program reads " << entries << " translation" << (entries == 1 ? "" : "s") << "\n";
    // Whether the texts fit their boxes is a question of pixels, which the device tool answers.
    if (entries > 0) {
        bool plain = d.file.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._/-+") ==
                     std::string::npos;
        std::cout << d.file << ": to see whether the translations fit the handheld's screen: orvane-device fit --language "
                  << (d.file == "-" ? "FILE" : plain ? d.file : std::string("'").append(d.file).append("'")) << "\n";
    }
}

// An operator's Networks: each MCC and MNC, 5 or 6 digits; noted by network for the sharing.
void check_networks(std::u16string_view value, const orvane_cr::xml_attributes &attributes, std::size_t line,
                    std::map<std::u16string, std::vector<std::pair<std::size_t, std::u16string>>> &serving,
                    diagnostics &d) {
    std::u16string name;
    for (const auto &a : attributes) {
        if (a.name == u"Name") name = a.value;
    }
    for (std::u16string &id : orvane_cr::split_at_spaces(value)) {
        if ((id.size() != 5 && id.size() != 6) || id.find_first_not_of(u"0123456789") != std::u16string::npos) {
            d.at(line, "network " + quoted_text(id) + " is not 5 or 6 digits (MCC and MNC): no SIM matches it");
            continue;
        }
        serving[std::move(id)].emplace_back(line, name);
    }
}

void check_operators(const std::u16string &text, diagnostics &d) {
    const std::u16string root = u"<root>";
    std::size_t root_at = text.find(root);
    if (root_at == std::u16string::npos) {
        d.at(1, "no \"<root>\" (exactly so, lower case, no spaces): the program reads no operator");
        std::cout << d.file << ": the program reads 0 presets\n";
        return;
    }
    const std::set<std::u16string> known = {u"Name", u"User", u"Pwd", u"Apn", u"Phone", u"Networks", u"Primary"};
    // Each network and the operators that name it, with their lines.
    std::map<std::u16string, std::vector<std::pair<std::size_t, std::u16string>>> serving;
    line_counter lines(text);
    // Every tag after the root marker, as the reader splits them.
    for (std::size_t p = text.find(u'<', root_at + root.size()); p != std::u16string::npos;
         p = text.find(u'<', p + 1)) {
        std::size_t close = text.find(u'>', p + 1);
        if (close == std::u16string::npos) break;
        std::u16string_view tag(text.data() + p + 1, close - p - 1);
        if (!tag.empty() && tag.back() == u'/') tag.remove_suffix(1);
        if (!tag.empty() && tag.front() == u'/') continue;
        std::size_t line = lines.at(p);
        if (tag.size() > 255) {
            d.at(line, "the tag is " + std::to_string(tag.size()) + " characters long; over 255 the program skips it");
            continue;
        }
        if (!orvane_platform::is_valid_utf16(tag)) {
            d.at(line, "a lone surrogate (half of a UTF-16 pair) in the tag: the handheld refuses it at Create");
        }
        // The text of an element that holds only text: over 255 the program skips the element.
        if (std::size_t next = text.find(u'<', close + 1);
            tag.size() == static_cast<std::size_t>(close - p - 1) && next != std::u16string::npos &&
            next + 1 < text.size() && text[next + 1] == u'/' && next - close - 1 > 255) {
            d.at(line, "the element's text is " + std::to_string(next - close - 1) +
                           " characters long; over 255 the program skips the element");
        }
        if (tag.find_first_of(u"\t\r\n") != std::u16string_view::npos) {
            d.at(line, "a tab or line break inside the tag: it becomes part of the next attribute's name; write the "
                       "tag on one line with spaces");
        }
        if (tag.find(u"='") != std::u16string_view::npos || tag.find(u"= '") != std::u16string_view::npos) {
            d.at(line, "a single-quoted value: the program reads only double quotes, and loses the next attribute");
        }
        if (tag.find(u' ') == std::u16string_view::npos) continue;
        orvane_cr::xml_attributes attributes;
        orvane_cr::xml_reader::parse_attributes(orvane_cr::xml_reader::trim_spaces(tag), attributes);
        for (const auto &a : attributes) {
            const std::u16string &name = a.name;
            if (name == u"Networks") check_networks(a.value, attributes, line, serving, d);
            if (known.count(name) != 0 || tag.front() == u'!' || tag.front() == u'?') continue;
            std::string hint;
            for (const auto &k : known) {
                if (orvane_platform::fold_case(k) == orvane_platform::fold_case(name)) hint = "; did you mean " + quoted_text(k) + "?";
            }
            d.at(line, "attribute " + quoted_text(name) + " matches nothing the program reads" + hint);
        }
    }
    for (const auto &[network, operators] : serving) {
        if (operators.size() < 2) continue;
        std::string names;
        for (const auto &[line, name] : operators) names += (names.empty() ? "" : ", ") + quoted_text(name) + " (line " + std::to_string(line) + ")";
        d.note(operators.front().first, "network " + to_utf8(network) + " is named by " + std::to_string(operators.size()) +
                                            " operators: " + names + "; a SIM of it chooses by its provider name, then Primary=\"1\"");
    }
    // What the program itself reads, and where it stops.
    orvane_cr::xml_reader reader;
    reader.open_units(text);
    orvane_cr::operator_presets presets;
    orvane_cr::read_operator_presets(reader, presets);
    if (reader.position() >= 0) {
        auto stop = static_cast<std::size_t>(reader.position());
        std::size_t later = 0;
        for (std::size_t p = text.find(u'<', stop + 1); p != std::u16string::npos; p = text.find(u'<', p + 1)) {
            std::size_t close = text.find(u'>', p);
            if (close == std::u16string::npos) break;
            std::u16string_view tag(text.data() + p + 1, close - p - 1);
            if (!tag.empty() && tag.front() != u'/' && tag.front() != u'!' && tag.front() != u'?' &&
                tag.find(u' ') != std::u16string_view::npos) {
                ++later;
            }
        }
        if (later > 0) {
            d.at(lines.at(stop), "this end tag ends the reading: " + std::to_string(later) +
                                          " operator(s) after it are not read");
        }
    }
    std::size_t empty = static_cast<std::size_t>(std::count_if(
        presets.begin(), presets.end(), [](const orvane_cr::operator_preset &p) { return p.name.empty(); }));
    if (empty > 0) d.at(1, std::to_string(empty) + " preset(s) without a Name: they show as empty entries");
    std::cout << d.file << ": the program reads " << presets.size() << " preset" << (presets.size() == 1 ? "" : "s")
              << "\n";
}

int run_check(const std::vector<std::string> &files) {
    int found = 0;
    for (const std::string &f : files) {
        std::string ext = fs::path(f).extension().string();
        if (f != "-" && ext != ".lng" && ext != ".xml") throw usage_error(in_quotes(f) + ": not a .lng or .xml file");
        diagnostics d{printable(f)};
        std::string bytes;
        bool read = f == "-" ? (bytes = standard_input(), true) : read_data_file(f, bytes, d);
        if (read && check_encoding(bytes, d)) {
            std::u16string text = units_of(bytes);
            // From a pipe the kind comes from the text: a language file begins with "[".
            if (f == "-") {
                std::size_t first = text.find_first_not_of(u"\uFEFF \t\r\n");
                ext = first != std::u16string::npos && text[first] == u'[' ? ".lng" : ".xml";
            }
            if (ext == ".lng") {
                check_language(text, d);
            } else {
                check_operators(text, d);
            }
        }
        found += d.count;
    }
    return found > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"Tools for the data files of Orvane Connection Manager"};
    app.set_version_flag("--version", "orvane-data " ORVANE_VERSION);
    app.footer("Exit status: 0 done (check: the files are clean), 1 the operation failed or check found "
               "something, 2 a usage error.");
    app.require_subcommand(1);
    std::vector<std::string> countries;
    std::string output;
    std::string database = default_database;
    bool force = false;
    auto *import = app.add_subcommand("import", "write an operators file from the mobile broadband provider database");
    import->add_option("--country", countries, "country code to take (repeatable; default all)");
    import->add_option("--output", output, "file to write (default: the operators file the program reads; -: standard output)");
    import->add_flag("--force", force, "replace an existing file");
    import->add_option("DATABASE", database, "the database (default " + std::string(default_database) + "; -: standard input)");
    std::vector<std::string> files;
    auto *check = app.add_subcommand("check", "say what the program will read from data files (.lng, .xml)");
    check->add_option("FILE", files, "files (-: standard input)")->required();
    int status = 1;
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp &e) {
            return orvane_tools::finish_output("orvane-data", app.exit(e));
        } catch (const CLI::CallForAllHelp &e) {
            return orvane_tools::finish_output("orvane-data", app.exit(e));
        } catch (const CLI::CallForVersion &e) {
            return orvane_tools::finish_output("orvane-data", app.exit(e));
        } catch (const CLI::ParseError &e) {
            throw usage_error(orvane_tools::usage_message(app, e, argc, argv));
        }
        status = *import ? run_import(countries, output, force, database) : run_check(files);
    } catch (const usage_error &e) {
        std::cerr << "orvane-data: " << e.what() << "\norvane-data: --help shows the usage\n";
        status = 2;
    } catch (const std::exception &e) {
        std::cerr << "orvane-data: " << printable(e.what()) << "\n";
        status = 1;
    }
    return orvane_tools::finish_output("orvane-data", status);
}
