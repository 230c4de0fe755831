#pragma once
// The version line of the run record: "Valdrun Version " and the program's file version, its
// four 16-bit parts as "%u.%02u.%02u.%02u" ("2.10.0.0" gives "2.10.00.00").
#include <string>
#include <string_view>

namespace valdrun {

// From a file version text of up to four numbers separated by '.' or ',' (missing parts 0).
std::string version_line(std::string_view file_version);
// From the version block of the program file at `program_path` ("0.00.00.00" without one).
std::string program_version_line(std::string_view program_path);

} // namespace valdrun
