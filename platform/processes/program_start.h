#pragma once
// Starting a program on its own, as CreateProcess without inherited handles does: detached
// from the caller (a session of its own), with only standard input, output and error.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starts `arguments[0]` with these arguments in `folder` (empty: the caller's current
// folder). The process id, or nothing with the last error set (2 when the program is not
// there, 5 when it may not be run, 3 when the folder is not there).
[[nodiscard]] std::optional<std::uint32_t> start_program(const std::vector<std::string>& arguments,
                                                         const std::string& folder);

} // namespace platform
