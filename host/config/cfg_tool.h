#pragma once
// MorlinCfg: shows, verifies and writes Morlin.cfg with the host's own reader and writer.
//
//   MorlinCfg show [FILE]      options, download files in order, SymLink record, check value
//   MorlinCfg verify [FILE]    exit code 0 when the host would read the file completely
//   MorlinCfg write FILE [--option KEY=VALUE]... [--download PATH]... [--symlink NAME]
//
// FILE defaults to Morlin.cfg in the current directory.
#include <iosfwd>
#include <string>
#include <vector>

namespace morlin {

[[nodiscard]] int run_cfg_tool(const std::vector<std::string>& arguments, std::ostream& out,
                               std::ostream& err);

} // namespace morlin
