// The terminal as the handheld's screen and keyboard (ncursesw).
#pragma once

#include <string>

#include "display.h"

namespace orvane_platform {

class terminal_display : public cell_display {
public:
    // False, with the reason, when the terminal cannot show a full-screen dialog.
    static bool usable(std::string &why);

    terminal_display();
    ~terminal_display() override;
    terminal_display(const terminal_display &) = delete;
    terminal_display &operator=(const terminal_display &) = delete;

    void size(int &columns, int &rows) override;
    void present(const cell_grid &grid) override;
    input_event wait_event() override;
    int ending_signal() override;

private:
    bool colours_ = false;
    bool utf8_ = true;
};

}  // namespace orvane_platform
