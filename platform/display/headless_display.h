// A display of a given size for tests: scripted input, the last frame kept.
#pragma once

#include <deque>
#include <functional>

#include "display.h"

namespace orvane_platform {

class headless_display : public cell_display {
public:
    headless_display(int columns, int rows) : cell_display(columns, rows), columns_(columns), rows_(rows) {}
    void size(int &columns, int &rows) override {
        columns = columns_;
        rows = rows_;
    }
    void present(const cell_grid &grid) override {
        last_ = grid;
        ++frames_;
    }
    input_event wait_event() override;

    void push_key(key k, char32_t ch = 0);
    void push_text(const std::u32string &text);
    // A press of the left button, or with `what` a drag to or a release at the point.
    void push_click(int column, int row, input_event::kind what = input_event::kind::click);
    // Changes the size and queues the resize event.
    void resize(int columns, int rows);
    // Called when the script is empty; may push more input. Without one, input ends.
    std::function<void(headless_display &)> on_idle;

    const cell_grid &last_frame() const { return last_; }
    int frames() const { return frames_; }

private:
    int columns_;
    int rows_;
    std::deque<input_event> script_;
    cell_grid last_;
    int frames_ = 0;
};

}  // namespace orvane_platform
