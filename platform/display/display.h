// What the window system draws on and reads input from: a grid of character cells.
#pragma once

#include <cstdint>
#include <string>
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
};

struct input_event {
    enum class kind { none, key, click, resize } type = kind::none;
    key k = key::none;
    char32_t ch = 0;
    int column = 0;
    int row = 0;
};

enum cell_attr : std::uint8_t {
    attr_none = 0,
    attr_reverse = 1,  // title and soft-key bars, highlighted list entry
    attr_field = 2,    // the cells of an input field
    attr_bold = 4,
    attr_focus = 8,    // the field that has the keyboard focus
    attr_frame = 16,   // a message box
};

struct cell {
    char32_t ch = U' ';
    std::uint8_t attr = attr_none;
    bool operator==(const cell &) const = default;
};

struct cell_grid {
    int columns = 0;
    int rows = 0;
    std::vector<cell> cells;
    int cursor_column = -1;  // -1: no cursor shown
    int cursor_row = -1;

    void reset(int c, int r) {
        columns = c;
        rows = r;
        cells.assign(static_cast<std::size_t>(c > 0 && r > 0 ? c * r : 0), cell{});
        cursor_column = cursor_row = -1;
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

class display {
public:
    virtual ~display() = default;
    virtual void size(int &columns, int &rows) = 0;
    virtual void present(const cell_grid &grid) = 0;
    // Blocks until there is input; kind::none means no more input will come.
    virtual input_event wait_event() = 0;
};

// The display the window system uses; none set means nothing is drawn and modal loops end at once.
void set_display(display *d);
display *current_display();

}  // namespace orvane_platform
