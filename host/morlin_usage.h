#pragma once
// What Morlin says about its own command line before it starts anything: the help and
// version answers, and one line for each argument that its switch rules ignore.
#include <optional>
#include <string>
#include <vector>

namespace morlin {

// -h, --help, /? or --version among the arguments before the one that holds /CFG: the text
// is printed on standard output and the exit code (0) returned. Nothing otherwise.
std::optional<int> answer_help_or_version(const std::vector<std::string>& arguments);

// The arguments before the one that holds /CFG that contain none of the switches /CE, /DI,
// /IV and /CFG (ignoring letter case): the switch rules pass over them without effect.
std::vector<std::string> ignored_arguments(const std::vector<std::string>& arguments);

// Writes one line on standard error for each ignored argument.
void report_ignored_arguments(const std::vector<std::string>& arguments);

} // namespace morlin
