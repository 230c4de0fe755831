#include "host/command_line.h"

namespace morlin {

std::string upper_case(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
    CommandLine result;
    for (const std::string& argument : arguments) {
        if (!result.line.empty()) {
            result.line += ' ';
        }
        result.line += argument;
    }
    const std::string upper = upper_case(result.line);
    const auto cfg = upper.find("/CFG");
    if (cfg == std::string::npos) {
        result.switches = upper;
        return result;
    }
    result.switches = upper.substr(0, cfg);
    std::size_t start = cfg + 4;
    while (start < result.line.size() &&
           (result.line[start] == ' ' || result.line[start] == '\t')) {
        ++start;
    }
    result.config_path = result.line.substr(start);
    return result;
}

} // namespace morlin
