// orvane-data: tools for those who write the program's data files.
//   import: an operators file from the mobile broadband provider database
//   check:  what the program will read from a language or operators file, and what it will not
#include <unistd.h>

#include <CLI/CLI.hpp>
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

#include "common/utf.h"
#include "presets/operator_presets.h"
#include "presets/xml_reader.h"
#include "text/language_file.h"
#include "text/uistrings.h"

namespace {

namespace fs = std::filesystem;
using orvane_platform::from_utf8;
using orvane_platform::to_utf8;

constexpr const char *default_database = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml";

// ---------------------------------------------------------------- import

struct imported {
    std::string country;
    std::string name;
    std::string user;
    std::string password;
    std::string apn;
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
    return "operator Name=\"" + escape_amp(e.name) + "\" User=\"" + escape_amp(e.user) + "\" Pwd=\"" +
           escape_amp(e.password) + "\" Apn=\"" + escape_amp(e.apn) + "\" Phone=\"*99***1#\"";
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
    fs::path self = fs::read_symlink("/proc/self/exe");
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

int run_import(const std::vector<std::string> &countries_in, const std::string &output, bool force,
               const std::string &database) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_file(database.c_str());
    if (!r) {
        std::cerr << "orvane-data: " << database << ": " << r.description() << " at byte " << r.offset << "\n";
        return 2;
    }
    std::set<std::string> countries;
    for (std::string c : countries_in) {
        std::transform(c.begin(), c.end(), c.begin(), [](unsigned char ch) { return std::tolower(ch); });
        countries.insert(c);
    }
    std::vector<imported> entries;
    int skipped = 0;
    pugi::xml_node root = doc.child("serviceproviders");
    if (!root) {
        std::cerr << "orvane-data: " << database << ": not a provider database (no <serviceproviders>)\n";
        return 2;
    }
    for (const pugi::xml_node &country : root.children("country")) {
        std::string code = country.attribute("code").value();
        if (!countries.empty() && countries.count(code) == 0) continue;
        for (const pugi::xml_node &provider : country.children("provider")) {
            std::string provider_name = child_text(provider, "name");
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
                std::string why = cannot_carry(e);
                if (!why.empty()) {
                    std::cerr << "orvane-data: left out " << code << " \"" << e.name << "\": it holds " << why << "\n";
                    ++skipped;
                    continue;
                }
                entries.push_back(std::move(e));
            }
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const imported &a, const imported &b) {
        return a.country != b.country ? a.country < b.country : a.name < b.name;
    });
    fs::path target = output.empty() ? program_operators_file() : fs::path(output);
    std::error_code ec;
    if (output.empty() && fs::exists(target, ec) && !force) {
        std::cerr << "orvane-data: " << target.string() << " exists; --force replaces it\n";
        return 2;
    }
    std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<root>\r\n";
    for (const imported &e : entries) {
        text += u'<';
        text += from_utf8(operator_tag(e));
        text += u"/>\r\n";
    }
    text += u"</root>\r\n";
    // Written beside the target and renamed over it, so a failure leaves nothing half written.
    fs::path temp = target;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (char16_t c : text) {
            out.put(static_cast<char>(c & 0xFF));
            out.put(static_cast<char>(c >> 8));
        }
        if (!out) {
            std::cerr << "orvane-data: cannot write " << temp.string() << "\n";
            fs::remove(temp, ec);
            return 2;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::cerr << "orvane-data: cannot write " << target.string() << ": " << ec.message() << "\n";
        fs::remove(temp, ec);
        return 2;
    }
    std::cout << "wrote " << entries.size() << " operators to " << target.string();
    if (skipped > 0) std::cout << " (" << skipped << " left out)";
    std::cout << "\n";
    return 0;
}

// ---------------------------------------------------------------- check

struct diagnostics {
    std::string file;
    int count = 0;
    void at(std::size_t line, const std::string &message) {
        std::cout << file << ":" << line << ": " << message << "\n";
        ++count;
    }
};

std::string read_file(const fs::path &p, bool &ok) {
    std::ifstream in(p, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Says what the bytes are; false when they are not UTF-16LE, which the program needs.
bool check_encoding(const std::string &bytes, diagnostics &d) {
    if (bytes.empty()) {
        d.at(1, "the file is empty; the program ignores it");
        return false;
    }
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
        d.at(1, "the file is UTF-8 (it has a UTF-8 byte-order mark); the program reads UTF-16LE only");
        return false;
    }
    if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) {
        d.at(1, "the file is UTF-16BE; the program reads UTF-16LE only");
        return false;
    }
    bool le_mark = bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE;
    if (!le_mark) {
        std::size_t zeros_odd = 0;
        std::size_t zeros_even = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 4096; ++i) (i % 2 == 0 ? zeros_even : zeros_odd) += b(i) == 0;
        if (zeros_even > zeros_odd * 2 && zeros_even > 0) {
            d.at(1, "the file looks like UTF-16BE; the program reads UTF-16LE only");
            return false;
        }
        if (zeros_odd == 0) {
            d.at(1, "the file is 8-bit or UTF-8 text; the program reads UTF-16LE only");
            return false;
        }
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

// Line of a unit offset, counting CR LF, LF and CR each as one line end.
std::size_t line_at(std::u16string_view text, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) ++line;
    }
    return line;
}

std::string in_quotes(std::u16string_view s) { return "\"" + to_utf8(s) + "\""; }

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
        if (english.count(key) == 0) d.at(number, in_quotes(key) + " matches none of the program's texts");
        if (auto it = seen.find(key); it != seen.end()) {
            d.at(number, in_quotes(key) + " given again (first on line " + std::to_string(it->second) +
                             "); this later one wins");
        } else {
            seen.emplace(key, number);
        }
        if (value.empty()) d.at(number, "the translation of " + in_quotes(key) + " is empty; the text will be blank");
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
}

void check_operators(const std::u16string &text, diagnostics &d) {
    const std::u16string root = u"<root>";
    std::size_t root_at = text.find(root);
    if (root_at == std::u16string::npos) {
        d.at(1, "no \"<root>\" (exactly so, lower case, no spaces): the program reads no operator");
        std::cout << d.file << ": the program reads 0 presets\n";
        return;
    }
    const std::set<std::u16string> known = {u"Name", u"User", u"Pwd", u"Apn", u"Phone"};
    // Every tag after the root marker, as the reader splits them.
    for (std::size_t p = text.find(u'<', root_at + root.size()); p != std::u16string::npos;
         p = text.find(u'<', p + 1)) {
        std::size_t close = text.find(u'>', p + 1);
        if (close == std::u16string::npos) break;
        std::u16string_view tag(text.data() + p + 1, close - p - 1);
        if (!tag.empty() && tag.back() == u'/') tag.remove_suffix(1);
        if (!tag.empty() && tag.front() == u'/') continue;
        std::size_t line = line_at(text, p);
        if (tag.size() > 255) {
            d.at(line, "the tag is " + std::to_string(tag.size()) + " characters long; over 255 the program skips it");
            continue;
        }
        if (tag.find_first_of(u"\t\r\n") != std::u16string_view::npos) {
            d.at(line, "a tab or line break inside the tag: it becomes part of the next attribute's name; write the "
                       "tag on one line with spaces");
        }
        if (tag.find(u"='") != std::u16string_view::npos || tag.find(u"= '") != std::u16string_view::npos) {
            d.at(line, "a single-quoted value: the program reads only double quotes, and loses the next attribute");
        }
        if (tag.find(u' ') == std::u16string_view::npos) continue;
        orvane_cr::xml_string s;
        s.assign(tag.data(), static_cast<std::int32_t>(tag.size()));
        orvane_cr::xml_reader::trim_spaces(s);
        orvane_cr::xml_attributes attributes;
        orvane_cr::xml_reader::parse_attributes(s, attributes);
        for (const auto &a : attributes) {
            std::u16string name(a.name.text, static_cast<std::size_t>(a.name.length));
            if (known.count(name) != 0 || tag.front() == u'!' || tag.front() == u'?') continue;
            std::string hint;
            for (const auto &k : known) {
                std::u16string lk = k;
                std::u16string ln = name;
                for (auto &c : lk) c = static_cast<char16_t>(std::towlower(c));
                for (auto &c : ln) c = static_cast<char16_t>(std::towlower(c));
                if (lk == ln) hint = "; did you mean " + in_quotes(k) + "?";
            }
            d.at(line, "attribute " + in_quotes(name) + " matches nothing the program reads" + hint);
        }
    }
    // What the program itself reads, and where it stops.
    orvane_cr::xml_reader reader;
    reader.open_units(text.data(), static_cast<std::int32_t>(text.size()));
    orvane_cr::operator_presets presets;
    orvane_cr::read_operator_presets(reader, presets);
    if (reader.cursor() != nullptr) {
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
            d.at(line_at(text, stop), "this end tag ends the reading: " + std::to_string(later) +
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
        diagnostics d{f};
        bool ok = false;
        std::string bytes = read_file(f, ok);
        if (!ok) {
            std::cerr << "orvane-data: cannot read " << f << "\n";
            return 2;
        }
        std::string ext = fs::path(f).extension().string();
        if (ext != ".lng" && ext != ".xml") {
            std::cerr << "orvane-data: " << f << ": not a .lng or .xml file\n";
            return 2;
        }
        if (check_encoding(bytes, d)) {
            std::u16string text = units_of(bytes);
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
    app.require_subcommand(1);
    std::vector<std::string> countries;
    std::string output;
    std::string database = default_database;
    bool force = false;
    auto *import = app.add_subcommand("import", "write an operators file from the mobile broadband provider database");
    import->add_option("--country", countries, "country code to take (repeatable; default all)");
    import->add_option("--output", output, "file to write (default: orvanecmgr.xml next to the program)");
    import->add_flag("--force", force, "replace an operators file next to the program");
    import->add_option("DATABASE", database, "the database (default " + std::string(default_database) + ")");
    std::vector<std::string> files;
    auto *check = app.add_subcommand("check", "say what the program will read from data files (.lng, .xml)");
    check->add_option("FILE", files, "files")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    try {
        if (*import) return run_import(countries, output, force, database);
        return run_check(files);
    } catch (const std::exception &e) {
        std::cerr << "orvane-data: " << e.what() << "\n";
        return 2;
    }
}
