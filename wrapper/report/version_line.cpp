#include "wrapper/report/version_line.h"

#include "platform/winapi/version_info.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace valdrun {

std::string version_line(std::string_view file_version) {
    std::array<std::uint16_t, 4> parts{};
    std::size_t part = 0;
    std::uint32_t number = 0;
    for (char c : file_version) {
        if (c >= '0' && c <= '9') {
            number = (number * 10u + static_cast<std::uint32_t>(c - '0')) & 0xFFFFu;
        } else if (c == '.' || c == ',') {
            parts[part] = static_cast<std::uint16_t>(number);
            number = 0;
            if (++part == parts.size())
                break;
        }
    }
    if (part < parts.size())
        parts[part] = static_cast<std::uint16_t>(number);
    char text[64];
    std::snprintf(text, sizeof text, "Valdrun Version %u.%02u.%02u.%02u", parts[0], parts[1],
                  parts[2], parts[3]);
    return text;
}

std::string program_version_line(std::string_view program_path) {
    const auto info = platform::read_version_info(program_path);
    return version_line(info ? info->file_version : std::string_view{});
}

} // namespace valdrun
