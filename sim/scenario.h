#pragma once
// Settings of the simulator by name: the lines of a scenario file ("key = value", '#' or ';'
// starts a comment line) and the program's options ("--key=value" or "--key value"). Both
// use the same keys; docs/simulation.md lists them.
#include "sim/terminal_simulator.h"

#include <string>
#include <string_view>

namespace sim {

struct Scenario {
    SimulatorOptions options;
    std::string image_out;            // program: where the received image is written at exit
    bool exit_after_download = false; // program: stop after the first complete download
};

// Applies one setting. False with a reason in `error` for an unknown key or a bad value.
bool apply_setting(Scenario& scenario, std::string_view key, std::string_view value,
                   std::string& error);

// Applies every line of a scenario text. False at the first bad line, with its number in
// `error`.
bool apply_scenario_text(Scenario& scenario, std::string_view text, std::string& error);

// Reads and applies a scenario file (a regular file of at most 1 MiB).
bool apply_scenario_file(Scenario& scenario, const std::string& path, std::string& error);

} // namespace sim
