// What the window system draws on and reads input from: terminal cells or pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane_platform {

enum class key {
    none,
    character,  // a printable character in `ch`
    f1,
    f2,
    tab,
    backtab,
    up,
    down,
    left,
    right,
    home,
    end,
    enter,
    escape,
    backspace,
    del,
    page_up,
    page_down,
    select_all,  // Ctrl+A
    paste,       // text from the clipboard, in `text`
    unbound,  // a key the dialog has no use for (Alt+x, keypad 5, ...): ignored
};

struct input_event {
    // none: no more input will come (end of input, the terminal gone, a signal to end)
    // click: the left button pressed; drag: moved while held; release: let go.
    enum class kind { none, key, click, drag, release, wheel, resize } type = kind::none;
    key k = key::none;
    char32_t ch = 0;
    int column = 0;
    int row = 0;
    int wheel = 0;               // wheel steps: negative up, positive down
    bool shift = false;          // a move that extends the selection
    std::u32string text;         // what key::paste brings
    std::uint64_t time_ms = 0;   // when it happened, for type-ahead
};

enum cell_attr : std::uint8_t {
    attr_none = 0,
    attr_reverse = 1,  // title and soft-key bars, highlighted list entry
    attr_field = 2,    // the cells of an input field
    attr_bold = 4,
    attr_focus = 8,    // the field that has the keyboard focus
    attr_frame = 16,   // a message box
    attr_dim = 32,     // the key names of the soft keys
};

struct cell {
    char32_t ch = U' ';  // 0: the second cell of a wide character
    std::uint8_t attr = attr_none;
    std::uint16_t marks = 0;  // combining marks drawn in this cell: 1 + their index in cell_grid::marks
    bool operator==(const cell &) const = default;
};

struct cell_grid {
    int columns = 0;
    int rows = 0;
    std::vector<cell> cells;
    int cursor_column = -1;  // -1: no cursor shown
    int cursor_row = -1;

    std::vector<std::u32string> marks;  // the few cells with combining marks keep them here

    void reset(int c, int r) {
        columns = c;
        rows = r;
        cells.assign(static_cast<std::size_t>(c > 0 && r > 0 ? c * r : 0), cell{});
        marks.clear();
        cursor_column = cursor_row = -1;
    }
    // Adds a combining mark to a cell's character.
    void add_mark(cell &to, char32_t mark) {
        if (to.marks == 0) {
            if (marks.size() >= 0xFFFF) return;
            marks.emplace_back();
            to.marks = static_cast<std::uint16_t>(marks.size());
        }
        if (marks[to.marks - 1u].size() < 4) marks[to.marks - 1u] += mark;
    }
    std::u32string_view marks_of(const cell &c) const {
        return c.marks == 0 || c.marks > marks.size() ? std::u32string_view() : std::u32string_view(marks[c.marks - 1u]);
    }
    cell *at(int c, int r) {
        if (c < 0 || r < 0 || c >= columns || r >= rows) return nullptr;
        return &cells[static_cast<std::size_t>(r * columns + c)];
    }
    const cell *at(int c, int r) const { return const_cast<cell_grid *>(this)->at(c, r); }
    // One row as UTF-8, trailing spaces kept.
    std::string row_text(int r) const;
    std::string text() const;
};

class surface;

class display {
public:
    virtual ~display() = default;
    // The screen's size in the surface's units.
    virtual void size(int &width, int &height) = 0;
    // The surface the screen is drawn on, also for measuring between frames.
    virtual surface &screen() = 0;
    // Draws a frame with `draw` and shows it.
    virtual void paint(const std::function<void(surface &)> &draw) = 0;
    // Blocks until there is input; kind::none means no more input will come. Clicks and
    // wheels are in the surface's units.
    virtual input_event wait_event() = 0;
    // The signal that asked the program to end (SIGTERM, SIGINT, a hang-up), or 0; a wait for
    // a service gives up when it is set.
    virtual int ending_signal() { return 0; }
};

// A display of character cells: frames are painted into a grid, then presented.
class cell_display : public display {
public:
    cell_display(int columns, int rows);
    ~cell_display() override;
    cell_display(const cell_display &) = delete;
    cell_display &operator=(const cell_display &) = delete;
    surface &screen() override;
    void paint(const std::function<void(surface &)> &draw) override;
    virtual void present(const cell_grid &grid) = 0;

private:
    std::unique_ptr<surface> cells_;
};

// The display the window system uses; none set means nothing is drawn and modal loops end at once.
// An ASCII stand-in for the drawing characters the painter uses ("…" and the scroll marks),
// for a terminal whose character set has none of them; 0 for any other character.
char32_t ascii_stand_in(char32_t c);

void set_display(display *d);
display *current_display();
// The current display's ending signal, or 0 without one.
int ending_signal() noexcept;

}  // namespace orvane_platform
