// GetVersionEx: the version the system reports to this program.
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/winapi/os_version.h"

#include <windows.h>

namespace platform {

std::optional<OsVersion> query_os_version() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = ::GetVersionExA(&info);
#pragma GCC diagnostic pop
    if (!ok) {
        win32::take_system_error();
        return std::nullopt;
    }
    return OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                     info.dwPlatformId};
}

} // namespace platform
