// The Windows version query on Linux: "another platform", unless MORLIN_OS_VERSION injects
// an answer so that tests reach the Windows 9x and NT branches.
#include "platform/foundation/last_error.h"
#include "platform/foundation/test_hooks.h"
#include "platform/winapi/os_version.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

struct NamedVersion {
    std::string_view name;
    OsVersion version;
};

constexpr NamedVersion kNamedVersions[] = {
    {"win95", {4, 0, 950, kPlatformWin32Windows}},
    {"win98", {4, 10, 2222, kPlatformWin32Windows}},
    {"winme", {4, 90, 3000, kPlatformWin32Windows}},
    {"nt4", {4, 0, 1381, kPlatformWin32Nt}},
    {"win2000", {5, 0, 2195, kPlatformWin32Nt}},
    {"winxp", {5, 1, 2600, kPlatformWin32Nt}},
    {"nt5.1", {5, 1, 2600, kPlatformWin32Nt}},
    {"vista", {6, 0, 6002, kPlatformWin32Nt}},
    {"win7", {6, 1, 7601, kPlatformWin32Nt}},
    {"win10", {10, 0, 19045, kPlatformWin32Nt}},
    {"posix", {0, 0, 0, kPlatformPosix}},
};

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Reads one number up to `stop` (or the end); advances `text` past it and the stop character.
bool take_number(std::string_view& text, char stop, std::uint32_t& value) {
    auto end = stop == '\0' ? text.size() : text.find(stop);
    if (end == std::string_view::npos || end == 0) {
        return false;
    }
    auto [rest, error] = std::from_chars(text.data(), text.data() + end, value);
    if (error != std::errc{} || rest != text.data() + end) {
        return false;
    }
    text.remove_prefix(stop == '\0' ? end : end + 1);
    return true;
}

// "<platform_id>:<major>.<minor>.<build>"
std::optional<OsVersion> parse_general_form(std::string_view text) {
    OsVersion version;
    if (take_number(text, ':', version.platform_id) && take_number(text, '.', version.major) &&
        take_number(text, '.', version.minor) && take_number(text, '\0', version.build) &&
        text.empty()) {
        return version;
    }
    return std::nullopt;
}

} // namespace

std::optional<OsVersion> query_os_version() {
    const char* injected = test_hook_variable("MORLIN_OS_VERSION");
    if (injected == nullptr || *injected == '\0') {
        return OsVersion{0, 0, 0, kPlatformPosix};
    }
    std::string_view text(injected);
    if (equal_ignoring_case(text, "fail")) {
        set_last_error(kErrorNotSupported);
        return std::nullopt;
    }
    for (const auto& named : kNamedVersions) {
        if (equal_ignoring_case(text, named.name)) {
            return named.version;
        }
    }
    if (auto general = parse_general_form(text)) {
        return general;
    }
    // An unreadable value is a failed query: the callers' "other platform" answer.
    set_last_error(kErrorInvalidParameter);
    return std::nullopt;
}

} // namespace platform
