#include "wrapper/detection/terminal_versions.h"

namespace valdrun {
namespace {

constexpr std::uint8_t kBinaryMarker = 'h';
constexpr std::size_t kAppMarker = 12;
constexpr std::size_t kFwMarker = 17;
constexpr std::size_t kLastVersionByte = 21;

std::uint8_t digit(std::uint8_t character) {
    return static_cast<std::uint8_t>(character - 48);
}

} // namespace

std::optional<TerminalVersions> terminal_versions_from(std::span<const std::uint8_t> response) {
    const std::size_t size = response.size();
    if (size < 2 || response[size - 2] != 0x90 || response[size - 1] != 0x00)
        return std::nullopt;
    if (size - 2 <= kLastVersionByte)
        return std::nullopt; // the versions would lie in the status word or beyond
    const auto at = [&](std::size_t offset) { return response[offset]; };
    TerminalVersions versions;
    if (at(kAppMarker) == kBinaryMarker) {
        versions.app_major = at(13);
        versions.app_minor = at(14);
    } else {
        versions.app_major = digit(at(13));
        versions.app_minor = static_cast<std::uint8_t>(digit(at(15)) * 10 + digit(at(16)));
    }
    if (at(kFwMarker) == kBinaryMarker) {
        versions.fw_major = at(18);
        versions.fw_minor = at(19);
        versions.fw_build = at(20);
    } else {
        versions.fw_major = digit(at(17));
        versions.fw_minor = digit(at(19));
        versions.fw_build = digit(at(21));
    }
    return versions;
}

} // namespace valdrun
