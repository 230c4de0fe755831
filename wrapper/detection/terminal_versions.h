#pragma once
// The terminal's versions in its answer to the status request (20 13 00 46 00). Text form:
// single ASCII digits at 13 (application major), 15 and 16 (application minor, tens first),
// 17, 19 and 21 (firmware major, minor, build), each its character code minus 48. Binary
// form, marked by 'h' at 12 (application) or 17 (firmware): the numbers follow the marker
// (13, 14; 18, 19, 20), as the terminal plug-in reads them.
#include "wrapper/detection/detection.h"

#include <optional>
#include <span>

namespace valdrun {

// Nothing when the answer does not end in 90 00 or is too short to hold the versions.
std::optional<TerminalVersions> terminal_versions_from(std::span<const std::uint8_t> response);

} // namespace valdrun
