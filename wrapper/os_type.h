#pragma once
// Valdrun's OS type, 1 to 5, from the platform version query:
//   1 Windows 95 (9x platform, version 4.0)      2 Windows 98/Me (9x platform, other versions)
//   3 Windows 2000 class (NT, major > 4, minor 0) 4 NT 4 and older (NT, major <= 4)
//   5 Windows XP class (NT, major > 4, minor not 0)
// Linux is none of them; it counts as type 5, whose rules (service manager, no serial
// fall-backs, device instances only looked for, short progress text) fit a modern system.
// MORLIN_OS_VERSION injects any other answer (docs/platform.md).
#include "platform/winapi/os_version.h"

#include <optional>

namespace valdrun {

inline constexpr int kOsWindows95 = 1;
inline constexpr int kOsWindows98 = 2;
inline constexpr int kOsWindows2000 = 3;
inline constexpr int kOsWindowsNt4 = 4;
inline constexpr int kOsWindowsXp = 5;
inline constexpr int kOsTypeOfLinux = kOsWindowsXp;

// A failed query, and any platform that is neither 9x nor NT, give the Linux choice.
int os_type_from(const std::optional<platform::OsVersion>& version);
int query_os_type();

} // namespace valdrun
