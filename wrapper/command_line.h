#pragma once
// Valdrun's switches: the whole command line in upper case, searched for each switch as a
// substring anywhere ("-d" inside another word selects German too).
#include <optional>
#include <string>
#include <string_view>

namespace valdrun {

struct Switches {
    bool german = false;    // "-D"
    bool installer = false; // "-FROMINSTALLER"
    bool check = false;     // "-CHECK"
};

Switches parse_switches(std::string_view command_line);

// The arguments after the program name joined by single spaces, as the command line text.
std::string command_line_of(int argc, char** argv);

// `-h`, `--help`, `/?` print the usage and `--version` the version line on standard output,
// as every program of the suite does: the exit code (0), and nothing else is started. Nothing
// when the arguments (words after the program name) ask for neither.
std::optional<int> answer_help_or_version(int argc, char** argv);

} // namespace valdrun
