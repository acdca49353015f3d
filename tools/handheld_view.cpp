#include "handheld_view.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/connection_dialog.h"
#include "common/small_file.h"
#include "common/utf.h"
#include "display/pixel_display.h"
#include "kernel/process.h"
#include "resources/resource.h"
#include "text/uistrings.h"
#include "tool_io.h"
#include "user/window_core.h"

namespace orvane_tools {
namespace {

namespace fs = std::filesystem;

// The program whose data files the dialog reads: beside this tool in a build tree, in the
// private folder once installed.
fs::path program_file() {
    fs::path self = running_program();
    std::error_code ec;
    fs::path beside = self.parent_path() / "orvanecmgr";
    // Installed, bin/ holds a link: the data files lie beside the file it leads to.
    if (fs::is_regular_file(beside, ec)) {
        fs::path real = fs::canonical(beside, ec);
        return ec ? beside : real;
    }
    return (self.parent_path() / ORVANE_PROGRAM_FROM_BINDIR).lexically_normal();
}

// A folder of links named as the program's data files, for files given on the command line.
class data_folder {
public:
    explicit data_folder(const view_options &o) {
        fs::path program = program_file();
        if (o.language.empty() && o.operators.empty()) {
            orvane_platform::set_module_path(program.string());
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "orvane-view-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw tool_error(std::string("cannot make a temporary folder: ").append(std::strerror(errno)));
        folder_ = pattern;
        link(o.language, program, ".lng");
        link(o.operators, program, ".xml");
        orvane_platform::set_module_path((folder_ / "orvanecmgr").string());
    }
    ~data_folder() {
        orvane_platform::set_module_path({});
        std::error_code ec;
        if (!folder_.empty()) fs::remove_all(folder_, ec);
    }
    data_folder(const data_folder &) = delete;
    data_folder &operator=(const data_folder &) = delete;

private:
    void link(const std::string &given, const fs::path &program, const char *ext) {
        std::error_code ec;
        fs::path target = given.empty() ? fs::path(program).replace_extension(ext) : fs::absolute(given, ec);
        // What the program could not read is said, not drawn as if the file were missing.
        if (!given.empty()) {
            std::string bytes;
            using orvane_platform::small_file_status;
            switch (orvane_platform::read_small_file(target.string(), orvane_platform::max_data_file, bytes)) {
            case small_file_status::ok:
                break;
            case small_file_status::too_large:
                throw tool_error(in_quotes(given) + " is larger than 64 MiB: the program treats it as unusable");
            case small_file_status::unreadable:
                throw tool_error(in_quotes(given) + " cannot be read");
            default:
                throw tool_error(in_quotes(given) + " is not a file");
            }
            if (std::string why = not_utf16le(bytes); !why.empty()) throw tool_error(in_quotes(given) + ": " + why);
        }
        if (!given.empty() || fs::exists(target, ec)) fs::create_symlink(target, folder_ / std::string("orvanecmgr").append(ext));
    }
    fs::path folder_;
};

// The dialog opened on an offscreen screen as the program opens it, then laid out again for
// each size the screen is given, as turning the handheld does.
class dialog_on_screen {
public:
    dialog_on_screen(int width, int height, int dpi) {
        std::string error;
        screen_ = orvane_platform::make_pixel_display({width, height, dpi, 1}, false, error);
        if (screen_ == nullptr) throw tool_error(error);
        orvane_platform::set_display(screen_.get());
        orvane_platform::screen_resized(width, height);
        dialog_ = std::make_unique<CConnectionDialog>();
        if (!dialog_->Create(IDD_CONNECTION_PORTRAIT)) throw tool_error("the dialog could not be made from its template");
        window_ = dialog_->m_hWnd;
    }
    ~dialog_on_screen() {
        dialog_.reset();
        orvane_platform::set_display(nullptr);
        orvane_platform::clear_window_system();
    }
    dialog_on_screen(const dialog_on_screen &) = delete;
    dialog_on_screen &operator=(const dialog_on_screen &) = delete;

    void turn(int width, int height) { orvane_platform::screen_resized(width, height); }
    HWND window() const { return window_; }
    orvane_platform::pixel_display &screen() { return *screen_; }

private:
    std::unique_ptr<orvane_platform::pixel_display> screen_;
    std::unique_ptr<CConnectionDialog> dialog_;
    HWND window_ = nullptr;
};

// The identifier of a cut text, learnt from the window that painted it: the caption, a soft
// key, a label or the proposed name; empty for texts that are not translations.
std::string identifier_of(const orvane_platform::cut_text &cut) {
    HWND w = cut.window;
    if (w == nullptr) return {};
    unsigned id = 0;
    if (w->type == HWND__::kind::caption) id = orvane_cr::app_title;
    if (w->type == HWND__::kind::menubar && w->menu != nullptr) {
        for (const auto &item : w->menu->items) {
            if (orvane_platform::to_utf32(item.text) == cut.text) id = orvane_cr::dialog_text_of(static_cast<int>(item.id));
        }
    }
    if (w->type == HWND__::kind::statik || w->type == HWND__::kind::edit) id = orvane_cr::dialog_text_of(w->id);
    const char *name = orvane_cr::ui_string_name(id);
    return name != nullptr ? name : std::string();
}

std::string quoted(const std::u32string &text) {
    std::u16string units;
    for (char32_t c : text) orvane_platform::append_utf16(units, c);
    std::string out(1, '"');
    out += printable(orvane_platform::to_utf8(units));
    out += '"';
    return out;
}

}  // namespace

void parse_screen_size(const std::string &text, int &width, int &height) {
    std::size_t x = text.find('x');
    auto number = [&](const std::string &part, int &out) {
        if (part.empty() || part.size() > 4 || part.find_first_not_of("0123456789") != std::string::npos) return false;
        out = std::stoi(part);
        return out >= 120 && out <= 4096;
    };
    if (x == std::string::npos || !number(text.substr(0, x), width) || !number(text.substr(x + 1), height)) {
        throw usage_error(std::string("--screen ").append(in_quotes(text)) + ": give the width and height in pixels, 120 to 4096 each, as 240x320");
    }
}

std::string screenshot(const view_options &o, bool landscape) {
    data_folder files(o);
    int w = std::min(o.width, o.height);
    int h = std::max(o.width, o.height);
    dialog_on_screen shown(w, h, o.dpi);
    // A screen given wider than high is the handheld as it stands, as the window shows it.
    if (landscape || o.width > o.height) shown.turn(h, w);
    orvane_platform::refresh_display();
    std::string error;
    std::string png = shown.screen().png(error);
    if (png.empty()) throw tool_error(std::string("the screenshot could not be made: ").append(error));
    return png;
}

std::vector<std::string> fit_findings(const view_options &o) {
    data_folder files(o);
    int w = std::min(o.width, o.height);
    int h = std::max(o.width, o.height);
    std::string screen = std::to_string(o.width) + "x" + std::to_string(o.height) + ", " + std::to_string(o.dpi) + " dpi";
    dialog_on_screen shown(w, h, o.dpi);
    std::vector<std::string> findings;
    for (bool landscape : {false, true}) {
        if (landscape) shown.turn(h, w);
        std::string where = std::string(" (") + (landscape ? "landscape" : "portrait") + ", " + screen + ")";
        auto report = [&](const std::string &id, const orvane_platform::cut_text &cut) {
            std::string line = id + " " + quoted(cut.text) + ": ";
            if (cut.room <= 0 || cut.room_height <= 0) {
                line += "not shown: its box lies under a bar or off the screen";
            } else if (cut.width > cut.room) {
                line += std::to_string(cut.width) + " px in a " + std::to_string(cut.room) + " px box";
            } else {
                line += std::to_string(cut.height) + " px high in a " + std::to_string(cut.room_height) + " px high box";
            }
            line += where;
            if (std::find(findings.begin(), findings.end(), line) == findings.end()) findings.push_back(line);
        };
        std::vector<orvane_platform::cut_text> cuts;
        shown.screen().record_cuts(&cuts);
        // The proposed name shown from its start, as it is read.
        HWND name = GetDlgItem(shown.window(), IDC_NAME);
        SendMessage(name, EM_SETSEL, 0, 0);
        orvane_platform::refresh_display();
        for (const auto &cut : cuts) {
            if (std::string id = identifier_of(cut); !id.empty()) report(id, cut);
        }
        if (std::string why = proposed_name_problem(orvane_cr::get_ui_string(orvane_cr::default_connection_name));
            !landscape && !why.empty()) {
            findings.push_back("default_connection_name: " + why);
        }
        // Each operator in the operator box, chosen in turn; the choice is put back.
        HWND box = GetDlgItem(shown.window(), IDC_OPERATOR);
        auto chosen = SendMessage(box, CB_GETCURSEL, 0, 0);
        auto count = static_cast<int>(SendMessage(box, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            cuts.clear();
            SendMessage(box, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            orvane_platform::refresh_display();
            std::u16string entry(static_cast<std::size_t>(SendMessage(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, u'\0');
            SendMessage(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
            entry.pop_back();
            std::u32string text = orvane_platform::to_utf32(entry);
            for (const auto &cut : cuts) {
                if (cut.window != box || cut.text != text) continue;
                // Its place in the operators file, counted from 1.
                auto position = SendMessage(box, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) + 1;
                report(std::string("operator ").append(std::to_string(position)), cut);
            }
        }
        SendMessage(box, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
        shown.screen().record_cuts(nullptr);
    }
    return findings;
}

}  // namespace orvane_tools
