#include "wrapper/detection/versions.h"

#include "wrapper/result_codes.h"

namespace valdrun {
namespace {

int digit_value(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One number of a scanf conversion from the front of `text`; `text` moves past it.
std::optional<std::uint16_t> scan_number(std::string_view& text, unsigned base) {
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (base == 16 && text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        digit_value(text[2], 16) >= 0)
        text.remove_prefix(2);
    std::uint32_t number = 0;
    bool any = false;
    while (!text.empty() && digit_value(text.front(), base) >= 0) {
        number = (number * base + static_cast<unsigned>(digit_value(text.front(), base))) & 0xFFFF;
        text.remove_prefix(1);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return static_cast<std::uint16_t>(negative ? (0x10000u - number) & 0xFFFF : number);
}

std::optional<Version> scan_version(std::string_view text, int count, unsigned base) {
    std::uint16_t numbers[3] = {0, 0, kNoBuild};
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (text.empty() || text.front() != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
        const auto number = scan_number(text, base);
        if (!number)
            return std::nullopt;
        numbers[i] = *number;
    }
    return Version{numbers[0], numbers[1], numbers[2]};
}

} // namespace

std::optional<Version> scan_hex_version(std::string_view text, int count) {
    return scan_version(text, count, 16);
}

std::optional<Version> scan_decimal_version(std::string_view text, int count) {
    return scan_version(text, count, 10);
}

std::optional<std::uint16_t> scan_hex_number(std::string_view text) {
    return scan_number(text, 16);
}

int compare_versions(const Version& current, const Version& target, bool reader) {
    if (current.major == 0 && current.minor == 0)
        return kDetectedNothing;
    if (reader && (current.major < 4 || (current.major == 4 && current.minor < 0x15)))
        return kDetectedTooOld;
    if (current.major < target.major)
        return kDetectedUpdateDue;
    if (current.major == target.major && current.minor < target.minor)
        return kDetectedUpdateDue;
    if (current.build != kNoBuild && target.build != kNoBuild && current.major == target.major &&
        current.minor == target.minor && current.build < target.build)
        return kDetectedUpdateDue;
    return kDetectedUpToDate;
}

} // namespace valdrun
