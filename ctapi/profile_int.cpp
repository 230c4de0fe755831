#include "profile_int.h"

#include "ascii_case.h"
#include "platform/files.h"

#include <cctype>
#include <optional>
#include <string>

namespace brantel {
namespace {

// Initialisation files are small; a larger file is not one.
constexpr std::uint64_t kMaxFileSize = 1u << 20;

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// The value's leading decimal number, as the Windows function reads it (wrapping like a
// 32-bit integer on overflow).
std::int32_t leading_integer(std::string_view value) {
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::uint32_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10u + static_cast<std::uint32_t>(c - '0');
    }
    if (negative) {
        number = 0u - number;
    }
    return static_cast<std::int32_t>(number);
}

std::optional<std::string_view> find_value(std::string_view text, std::string_view section,
                                           std::string_view key) {
    bool in_section = false;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            if (in_section) {
                return std::nullopt; // the section ended without the key
            }
            in_section = equal_ignoring_case(name, section);
            continue;
        }
        if (!in_section) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (equal_ignoring_case(trim(line.substr(0, equals)), key)) {
            return trim(line.substr(equals + 1));
        }
    }
    return std::nullopt;
}

} // namespace

std::int32_t profile_int_from_text(std::string_view text, std::string_view section,
                                   std::string_view key, std::int32_t default_value) {
    const auto value = find_value(text, section, key);
    return value ? leading_integer(*value) : default_value;
}

std::int32_t read_profile_int(std::string_view file_path, std::string_view section,
                              std::string_view key, std::int32_t default_value) {
    const auto bytes = platform::read_file(file_path, kMaxFileSize);
    if (!bytes) {
        return default_value;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    return profile_int_from_text(text, section, key, default_value);
}

} // namespace brantel
