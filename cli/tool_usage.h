#pragma once
// The command-line manners every program of the suite shares: `-h` and `--help` print the
// usage on standard output and end with 0, `--version` prints one version line and ends with
// 0, and a usage error prints one line naming the problem and one hint, and ends with 2.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr int kExitUsage = 2;

struct ToolUsage {
    std::string_view name;     // the program's file name, e.g. "HalvaneSim"
    std::string_view synopsis; // "usage: ..." lines, each ending in a line break
    std::string_view details;  // options, environment variables, files; may be empty
};

enum class HelpRequest { None, Help, Version };

// Help wins over the version when both are asked for. `extra_help` is a further spelling of
// the help switch (Morlin's "/?").
HelpRequest help_request(const std::vector<std::string>& arguments,
                         std::string_view extra_help = {});

// The whole help text: synopsis, a blank line, the details.
std::string usage_text(const ToolUsage& tool);
// "<name> <suite version> (Morlin firmware update suite)".
std::string version_line(std::string_view name);
// "<name>: <problem>\nTry '<name> --help'.\n"
std::string usage_error_text(std::string_view name, std::string_view problem);

// Answers -h, --help (and `extra_help`, such as "/?") and --version on standard output and
// returns the exit code (0); nothing when the arguments ask for neither.
std::optional<int> answer_help_or_version(const ToolUsage& tool,
                                          const std::vector<std::string>& arguments,
                                          std::string_view extra_help = {});
// Prints the usage error on standard error; returns kExitUsage.
int usage_error(std::string_view name, std::string_view problem);

} // namespace cli
