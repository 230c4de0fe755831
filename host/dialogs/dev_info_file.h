#pragma once
// DevInfo.txt: what the device information display saves. Each save appends a block: the
// header line with the local date and time (month first), a line of dashes as long as the
// header line with its line end, and one "label = value" line per row; lines end with CR LF.
#include "platform/winapi/locale.h"

#include <string>
#include <utility>
#include <vector>

namespace morlin {

// "Morlin - Device Information Display MM-DD-YYYY HH:MM:SS" (55 characters).
std::string device_info_header(const platform::LocalTime& time);

// The header, the dash line and every row, each line with CR LF.
std::vector<std::string>
device_info_lines(const platform::LocalTime& time,
                  const std::vector<std::pair<std::string, std::string>>& rows);

struct SaveResult {
    bool opened = false;   // false: nothing written, last error set
    bool complete = false; // every line written
};

// Appends the block to `path` (created when missing, shared for reading, written through).
// A write that fails is logged ("DevInfo" line 643) and ends the writing.
SaveResult append_device_info(const std::string& path, const platform::LocalTime& time,
                              const std::vector<std::pair<std::string, std::string>>& rows);

} // namespace morlin
