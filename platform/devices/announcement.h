#pragma once
// Simulated device announcements: one "<name>.device" file per device in the folder named by
// MORLIN_DEVICES (format in docs/devices.md). Each file tells what the device installer would
// tell about the device and where its serial port is reached. Files are outside input: they
// are parsed with bounds, and a malformed file is skipped with a line on stderr.
#include "platform/devices/device_set.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Values of one key below HKEY_LOCAL_MACHINE, names ignoring case.
using KeyValues = std::map<std::string, std::string, CaseInsensitiveLess>;

struct Announcement {
    DeviceRecord device; // source = the file's path
    // Other sections: "[Enum\USB\...]" -> its values (key paths ignoring case).
    std::map<std::string, KeyValues, CaseInsensitiveLess> machine_keys;
    // The announcing process ([Device] ProcessId); 0 when the writer did not give it.
    std::uint32_t process_id = 0;
};

inline constexpr std::size_t kMaxAnnouncementBytes = 64 * 1024;
inline constexpr std::size_t kMaxHardwareIds = 32;

// Parses the text of one announcement; nothing, with `error` set, when it is malformed.
std::optional<Announcement> parse_announcement(std::string_view text, std::string& error);

// The announcement folder (MORLIN_DEVICES), or nothing when the variable is unset or empty.
std::optional<std::filesystem::path> announcement_folder();
// Whether `file_name` names an announcement (ends in ".device", does not start with '.').
bool is_announcement_name(std::string_view file_name);
// The text of one announcement file: a regular file of at most kMaxAnnouncementBytes, taken
// by its exact name. A pipe or a device is refused at once, never waited on. Nothing, with
// the last error set, when the file cannot be read so (kErrorInsufficientBuffer: too large).
std::optional<std::string> read_announcement_text(const std::filesystem::path& file);
// Reads and parses one file; malformed or unreadable files give nothing and a stderr line.
// So does a file whose announcing process has ended (left behind by a program that was
// killed): one stderr line per such file and process.
std::optional<Announcement> read_announcement(const std::filesystem::path& file);
// Every well-formed announcement of the folder, by file name.
std::vector<Announcement> read_announcements();

} // namespace platform
