#include "version_text.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace vupporta {

std::string application_version_text(unsigned major, unsigned minor) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u", major, minor);
    return text;
}

std::string firmware_version_text(unsigned major, unsigned minor, unsigned patch) {
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, patch);
    return text;
}

namespace {

// One "%d": blanks, an optional sign, at least one digit. Values beyond int are clamped.
std::optional<int> read_number(std::string_view text, std::size_t& at) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) {
        return std::nullopt;
    }
    long long value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = value * 10 + (text[at] - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = std::numeric_limits<int>::max();
        }
        ++at;
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace

std::optional<std::array<int, 3>> parse_version(std::string_view text, int parts) {
    std::array<int, 3> numbers{};
    std::size_t at = 0;
    for (int part = 0; part < parts && part < 3; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        auto number = read_number(text, at);
        if (!number) {
            return std::nullopt;
        }
        numbers[static_cast<std::size_t>(part)] = *number;
    }
    return numbers;
}

VersionVerdict compare_versions(std::string_view file_version, std::string_view device_version,
                                int parts) {
    const auto file = parse_version(file_version, parts);
    const auto device = parse_version(device_version, parts);
    if (!file || !device) {
        return VersionVerdict::Unknown;
    }
    for (std::size_t part = 0; part < static_cast<std::size_t>(parts); ++part) {
        if ((*file)[part] != (*device)[part]) {
            return (*file)[part] < (*device)[part] ? VersionVerdict::Older
                                                   : VersionVerdict::NotOlder;
        }
    }
    return VersionVerdict::NotOlder;
}

} // namespace vupporta
