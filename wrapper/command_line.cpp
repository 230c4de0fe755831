#include "wrapper/command_line.h"

#include "cli/tool_usage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace valdrun {

Switches parse_switches(std::string_view command_line) {
    std::string upper(command_line);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](std::string_view name) { return upper.find(name) != std::string::npos; };
    return Switches{has("-D"), has("-FROMINSTALLER"), has("-CHECK")};
}

std::string command_line_of(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

} // namespace valdrun

namespace valdrun {
namespace {

constexpr cli::ToolUsage kUsage{
    "Valdrun", "usage: Valdrun [-D] [-FROMINSTALLER] [-CHECK]\n",
    "Finds the reader or terminal described in Valdrun.ini beside the program, reads its\n"
    "firmware version and updates it with the description's update tool (docs/valdrun.md).\n"
    "  -D              German texts\n"
    "  -FROMINSTALLER  the closing messages advise a restart instead of offering one\n"
    "  -CHECK          no window: the exit code alone tells the result (1 update due,\n"
    "                  2 not found, 3 up to date, 4 another reader, 6 no description,\n"
    "                  11 firmware too old)\n"
    "The switches are found anywhere in the command line, in any letter case. The run report\n"
    "is Valdrun.log beside the program.\n"};

} // namespace

std::optional<int> answer_help_or_version(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return cli::answer_help_or_version(kUsage, arguments, "/?");
}

} // namespace valdrun
