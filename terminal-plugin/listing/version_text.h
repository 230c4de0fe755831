#pragma once
// Version numbers as the display shows them, and their comparison in upgrade-only mode.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vupporta {

std::string application_version_text(unsigned major, unsigned minor);              // "%d.%02d"
std::string firmware_version_text(unsigned major, unsigned minor, unsigned patch); // "%d.%d.%d"

// Reads `parts` numbers separated by '.' from the start of a text, the way "%d.%d" and
// "%d.%d.%d" read them (blanks before a number and a sign allowed, anything after the last
// number ignored). Nothing unless every part was read.
std::optional<std::array<int, 3>> parse_version(std::string_view text, int parts);

enum class VersionVerdict {
    NotOlder, // the file's version is the device's or newer: the device may take it
    Older,    // the file's version is below the device's
    Unknown,  // one of the two texts does not read as a version
};

// Compares a file's version with a device's: two parts for an application image, three for a
// firmware image.
VersionVerdict compare_versions(std::string_view file_version, std::string_view device_version,
                                int parts);

} // namespace vupporta
