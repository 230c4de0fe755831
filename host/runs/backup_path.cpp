#include "host/runs/backup_path.h"

#include "platform/files/files.h"

namespace morlin {

std::string backup_file_path(std::string_view backup_directory, const platform::LocalTime& time) {
    const std::string name = platform::format_date(time, "ddMMMyyyy") + "_" +
                             std::to_string(time.hour) + "h" + std::to_string(time.minute) + "m" +
                             std::to_string(time.second) + "s.bin";
    return platform::join_path(backup_directory, name);
}

} // namespace morlin
