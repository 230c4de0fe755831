#pragma once
// The system's log, for what a program that runs without a console must be able to tell an
// administrator afterwards (why Valdrun refused a file, what it started again). On Linux the
// journal through syslog, under the program's name; in a build with test hooks,
// MORLIN_SYSTEM_LOG=<file> appends the lines to that file instead.
#include <string_view>

namespace platform {

// Writes one line, as `program` ("Valdrun"), at notice level.
void system_log(std::string_view program, std::string_view line);

} // namespace platform
