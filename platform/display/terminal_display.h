// The terminal as the handheld's screen and keyboard (ncursesw).
#pragma once

#include "display.h"

namespace orvane_platform {

class terminal_display : public display {
public:
    terminal_display();
    ~terminal_display() override;
    terminal_display(const terminal_display &) = delete;
    terminal_display &operator=(const terminal_display &) = delete;

    void size(int &columns, int &rows) override;
    void present(const cell_grid &grid) override;
    input_event wait_event() override;

private:
    bool colours_ = false;
};

}  // namespace orvane_platform
