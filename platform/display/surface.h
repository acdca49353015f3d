// What controls paint on: a surface in its own units (terminal cells or pixels), reached
// through a device context that puts a window's box at the origin and clips to it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace orvane_platform {

// What a painted thing is; each surface gives each its look (cell attributes, or colours from
// the theme's one table).
enum class role : std::uint8_t {
    window,       // the dialog's background and static texts
    bar,          // title and soft-key bars
    bar_label,    // caption, "ok", soft-key labels
    bar_key,      // the terminal's key names beside the soft-key labels
    field,        // an input field
    field_focus,  // the field with the keyboard focus
    list,         // an open drop-down list
    list_mark,    // the entry marked in an open list
    box,          // a message box
    box_title,
    button,       // a message box's button
};

struct surface_metrics {
    int width = 0;   // the screen
    int height = 0;
    int unit_x = 1;  // window pixels in one unit of this surface
    int unit_y = 1;
    int bar = 1;      // height of the title and soft-key bars
    int line = 1;     // a line of text, an entry of an open list
    int char_w = 1;   // an average character, for spacing
    int border = 0;   // a field's border
    int padding = 0;  // between a field's border and its text
    int button = 1;   // a combo box's arrow button, a list's scroll bar
    int base_x = 4;   // dialog base units, in window pixels
    int base_y = 8;
    bool key_names = false;  // the soft keys show which key presses them
};

// The parts of a scroll bar, as y coordinates on the surface: the up arrow ends at `up_end`,
// the down arrow starts at `down_start`, the thumb lies in [thumb_top, thumb_bottom).
struct scroll_parts {
    int up_end = 0;
    int thumb_top = 0;
    int thumb_bottom = 0;
    int down_start = 0;
};

class surface {
public:
    virtual ~surface() = default;
    virtual const surface_metrics &metrics() const = 0;
    // A new screen size, in this surface's units.
    virtual void set_size(int width, int height) = 0;
    // The box a window takes here, from its rectangle in window pixels on the screen.
    virtual RECT place(const RECT &on_screen) const = 0;

    virtual void fill(const RECT &r, role how) = 0;
    virtual void frame(const RECT &r, role how) = 0;
    // Text with its top-left corner at (x, y), clipped to `clip`; `mark_cut` asks the surface to
    // show where a text was cut, if it has a way. Gives the width drawn.
    virtual int text(int x, int y, const RECT &clip, std::u32string_view text, role how, bool mark_cut) = 0;
    virtual int text_width(std::u32string_view text) = 0;
    // The caret at (x, y); `shown` false only places the focus there (the terminal's cursor).
    virtual void caret(int x, int y, bool shown) = 0;
    virtual void arrow(const RECT &r, role how) = 0;
    // A scroll bar in `r` for `shown` of `count` entries from `first`, and where its parts lie:
    // what is drawn and what is clicked have the one geometry.
    virtual void scroll_bar(const RECT &r, int first, int shown, int count) = 0;
    virtual scroll_parts scroll_bar_parts(const RECT &r, int first, int shown, int count) const = 0;

    // Where the caret before character `index` of a text drawn from x = 0 stands, and the
    // character before which a click at `x` puts it: in text order, so that right-to-left
    // and mixed text take the caret where it inserts.
    virtual int caret_offset(std::u32string_view text, std::size_t index) {
        return text_width(text.substr(0, std::min(index, text.size())));
    }
    virtual std::size_t index_at(std::u32string_view text, int x) {
        int used = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            int w = text_width(text.substr(i, 1));
            if (used + w > x) return i;
            used += w;
        }
        return text.size();
    }

    // The window painting now, for a surface that notes who drew what.
    void painting(HWND w) { painting_ = w; }

protected:
    HWND painting_ = nullptr;
};

// A window's box on a surface: coordinates relative to the box, drawing clipped to it.
class device_context {
public:
    // `shows`: the part of the surface where the window can be seen (its dialog's area
    // between the bars); drawing is clipped to it as to the box.
    device_context(surface &s, RECT box) : s_(s), box_(box), shows_(box) {}
    device_context(surface &s, RECT box, RECT shows) : s_(s), box_(box), shows_(shows) {}
    surface &target() { return s_; }
    const surface_metrics &metrics() const { return s_.metrics(); }
    RECT box() const { return RECT{0, 0, box_.right - box_.left, box_.bottom - box_.top}; }

    void fill(RECT r, role how) { s_.fill(moved(r), how); }
    void frame(RECT r, role how) { s_.frame(moved(r), how); }
    int text(int x, int y, RECT clip, std::u32string_view t, role how, bool mark_cut) {
        return s_.text(x + box_.left, y + box_.top, moved(clip), t, how, mark_cut);
    }
    int text_width(std::u32string_view t) { return s_.text_width(t); }
    void caret(int x, int y, bool shown) { s_.caret(x + box_.left, y + box_.top, shown); }
    void arrow(RECT r, role how) { s_.arrow(moved(r), how); }
    void scroll_bar(RECT r, int first, int shown, int count) { s_.scroll_bar(moved(r), first, shown, count); }

private:
    RECT moved(RECT r) const {
        r.left = std::max({r.left + box_.left, box_.left, shows_.left});
        r.top = std::max({r.top + box_.top, box_.top, shows_.top});
        r.right = std::min({r.right + box_.left, box_.right, shows_.right});
        r.bottom = std::min({r.bottom + box_.top, box_.bottom, shows_.bottom});
        return r;
    }
    surface &s_;
    RECT box_;
    RECT shows_;
};

}  // namespace orvane_platform
