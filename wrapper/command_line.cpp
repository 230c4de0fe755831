#include "wrapper/command_line.h"

#include <algorithm>
#include <cctype>

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
