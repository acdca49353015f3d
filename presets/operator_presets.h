// Operator presets: ready-made connection settings from the operators file.
#pragma once

#include <string>
#include <vector>

namespace orvane_cr {

class xml_reader;

struct operator_preset {
    std::u16string name;
    std::u16string user;
    std::u16string password;
    std::u16string apn;
    std::u16string phone;
};

// In file order: a preset's position is the item data of its operator-box entry.
using operator_presets = std::vector<operator_preset>;

std::u16string operators_file_path();
void load_operator_presets(operator_presets &presets);
// Reads presets from a reader already opened, as load_operator_presets does with the file.
void read_operator_presets(xml_reader &reader, operator_presets &presets);
operator_presets &get_operator_presets(operator_presets &presets);

}  // namespace orvane_cr
