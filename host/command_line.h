#pragma once
// Morlin's command line: "/CFG path" (last), "/CE", "/DI", "/IV", "/PARALLEL", matched
// ignoring case as plain substrings.
//
// The arguments are joined with one blank into one line. Switches are looked for in the
// upper-cased line before "/CFG": everything after "/CFG" is the configuration path, which
// keeps its own letters (Linux file names are case-sensitive, and POSIX paths use '/', so a
// folder such as "/dist" must not read as "/DI").
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

struct CommandLine {
    std::string line;        // the arguments joined by one blank
    std::string switches;    // upper-cased part of the line before "/CFG"
    std::string config_path; // after "/CFG", leading blanks skipped; empty when absent

    bool has(std::string_view upper_switch) const {
        return switches.find(upper_switch) != std::string::npos;
    }
    bool config_editor() const { return has("/CE"); }
    bool device_info() const { return has("/DI"); }
    bool identical_version() const { return has("/IV"); }
    // A configured run downloads to several devices at the same time.
    bool parallel() const { return has("/PARALLEL"); }
};

CommandLine parse_command_line(const std::vector<std::string>& arguments);

// ASCII letters in upper case, as the switches are compared.
std::string upper_case(std::string_view text);

} // namespace morlin
