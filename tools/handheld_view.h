// The program's dialog as the handheld shows it right after start, on the pixel display kept
// offscreen: for screenshots, and for the fit check of translated texts.
#pragma once

#include <string>
#include <vector>

namespace orvane_tools {

struct view_options {
    int width = 240;  // the handheld's screen, as it stands in portrait
    int height = 320;
    int dpi = 96;
    std::string language;   // a language file to use instead of the program's; empty: the program's
    std::string operators;  // the same for the operators file
};

// The screen as a PNG file's bytes, in portrait or turned to landscape.
std::string screenshot(const view_options &o, bool landscape);

// Every text from the data files that the screen cuts, in both orientations, one a line:
// `label_apn "Zugangspunkt (APN)": 99 px in a 93 px box (landscape, 240x320, 96 dpi)`.
std::vector<std::string> fit_findings(const view_options &o);

// "WxH" as two numbers; throws usage_error for anything else.
void parse_screen_size(const std::string &text, int &width, int &height);

}  // namespace orvane_tools
