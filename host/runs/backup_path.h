#pragma once
// The backup file path handed to each download: the date in the user's locale as
// "ddMMMyyyy" and the local time without leading zeros, in the backup directory, as in
// "<backup directory>/07Dec2026_9h5m7s.bin".
#include "platform/winapi/locale.h"

#include <string>
#include <string_view>

namespace morlin {

std::string backup_file_path(std::string_view backup_directory, const platform::LocalTime& time);

} // namespace morlin
