#pragma once
// The Windows version query (GetVersionEx). On Linux the answer is a stand-in that
// MORLIN_OS_VERSION can replace so that tests reach every branch (see docs/).
#include <cstdint>
#include <optional>

namespace platform {

enum : std::uint32_t {
    kPlatformWin32s = 0,
    kPlatformWin32Windows = 1, // Windows 95/98/Me
    kPlatformWin32Nt = 2,      // NT family
    kPlatformPosix = 3,        // the answer on Linux when nothing is injected: "other platform"
};

struct OsVersion {
    std::uint32_t major = 0, minor = 0, build = 0;
    std::uint32_t platform_id = 0;
};

// Nothing when the query fails (MORLIN_OS_VERSION=fail).
[[nodiscard]] std::optional<OsVersion> query_os_version();

} // namespace platform
