#pragma once
// Version texts of the reader description turned into numbers, and the version comparison
// that gives a detection result. All numbers are unsigned 16-bit values.
#include <cstdint>
#include <optional>
#include <string_view>

namespace valdrun {

inline constexpr std::uint16_t kNoBuild = 0xFFFF;

struct Version {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = kNoBuild;
};

// Scans `count` numbers separated by single points, as "%hx.%hx" ("%hx.%hx.%hx") or "%d.%d"
// read them: each number after optional blanks and sign (hexadecimal also after "0x"), up to
// the first character that does not fit, kept modulo 2^16. Nothing when one of the numbers
// has no digit.
std::optional<Version> scan_hex_version(std::string_view text, int count);
std::optional<Version> scan_decimal_version(std::string_view text, int count);
// "%hX" of a USB identifier.
std::optional<std::uint16_t> scan_hex_number(std::string_view text);

// The comparison of a current version with a target version: 2 for 0.0; for readers 4 below
// V4.15 (the oldest firmware that can be updated); 1 when older (builds only when both are
// present); else 0, also when newer.
int compare_versions(const Version& current, const Version& target, bool reader);

} // namespace valdrun
