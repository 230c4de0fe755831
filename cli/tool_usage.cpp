#include "cli/tool_usage.h"

#include <cstdio>

namespace cli {

HelpRequest help_request(const std::vector<std::string>& arguments, std::string_view extra_help) {
    HelpRequest request = HelpRequest::None;
    for (const std::string& argument : arguments) {
        if (argument == "-h" || argument == "--help" ||
            (!extra_help.empty() && argument == extra_help)) {
            return HelpRequest::Help;
        }
        if (argument == "--version") {
            request = HelpRequest::Version;
        }
    }
    return request;
}

std::string usage_text(const ToolUsage& tool) {
    std::string text(tool.synopsis);
    if (!tool.details.empty()) {
        text += "\n";
        text += tool.details;
    }
    return text;
}

std::string version_line(std::string_view name) {
    return std::string(name) + " " MORLIN_SUITE_VERSION " (Morlin firmware update suite)\n";
}

std::string usage_error_text(std::string_view name, std::string_view problem) {
    const std::string program(name);
    return program + ": " + std::string(problem) + "\nTry '" + program + " --help'.\n";
}

std::optional<int> answer_help_or_version(const ToolUsage& tool,
                                          const std::vector<std::string>& arguments,
                                          std::string_view extra_help) {
    switch (help_request(arguments, extra_help)) {
    case HelpRequest::None:
        return std::nullopt;
    case HelpRequest::Help:
        std::fputs(usage_text(tool).c_str(), stdout);
        break;
    case HelpRequest::Version:
        std::fputs(version_line(tool.name).c_str(), stdout);
        break;
    }
    std::fflush(stdout);
    return 0;
}

int usage_error(std::string_view name, std::string_view problem) {
    std::fputs(usage_error_text(name, problem).c_str(), stderr);
    return kExitUsage;
}

} // namespace cli
