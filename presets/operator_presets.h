// Operator presets: ready-made connection settings from the operators file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane_cr {

class xml_reader;

struct operator_preset {
    std::u16string name;
    std::u16string user;
    std::u16string password;
    std::u16string apn;
    std::u16string phone;
    // The networks the operator serves (Networks="00101 001010"): each its MCC and MNC, the MNC
    // with its own length.
    std::vector<std::u16string> networks;
    bool primary = false;  // Primary="1": the network's own operator, not one that rents it
};

// In file order: a preset's position is the item data of its operator-box entry.
using operator_presets = std::vector<operator_preset>;

std::u16string operators_file_path();
void load_operator_presets(operator_presets &presets);
// Reads presets from a reader already opened, as load_operator_presets does with the file.
void read_operator_presets(xml_reader &reader, operator_presets &presets);
operator_presets &get_operator_presets(operator_presets &presets);

// The words of `value` between spaces (a Networks value's identifiers).
std::vector<std::u16string> split_at_spaces(std::u16string_view value);

// The position of the preset for a SIM of `operator_id`: the one whose networks hold it; among
// several, those at `named_as_provider` (the presets named as the SIM's provider), then the one
// marked primary. None, or still several: npos.
std::size_t preset_for_sim(const operator_presets &presets, std::u16string_view operator_id,
                           const std::vector<std::size_t> &named_as_provider);

}  // namespace orvane_cr
