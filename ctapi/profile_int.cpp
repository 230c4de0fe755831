#include "profile_int.h"

#include "platform/profile/profile.h"

namespace brantel {

std::int32_t profile_int_from_text(std::string_view text, std::string_view section,
                                   std::string_view key, std::int32_t default_value) {
    return platform::Profile::parse(text).integer(section, key, default_value);
}

std::int32_t read_profile_int(std::string_view file_path, std::string_view section,
                              std::string_view key, std::int32_t default_value) {
    const auto profile = platform::Profile::load(file_path);
    return profile ? profile->integer(section, key, default_value) : default_value;
}

} // namespace brantel
