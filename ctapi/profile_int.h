#pragma once
// GetPrivateProfileInt over the platform's profile reader (platform/profile/profile.h): an
// integer value from an initialisation file, read as a decimal number with an optional sign,
// up to the first character that is not a digit (no digits: 0). A missing file, section or
// key gives `default_value`.
#include <cstdint>
#include <string_view>

namespace brantel {

[[nodiscard]] std::int32_t profile_int_from_text(std::string_view text, std::string_view section,
                                                 std::string_view key, std::int32_t default_value);

[[nodiscard]] std::int32_t read_profile_int(std::string_view file_path, std::string_view section,
                                            std::string_view key, std::int32_t default_value);

} // namespace brantel
