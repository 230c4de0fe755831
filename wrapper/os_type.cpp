#include "wrapper/os_type.h"

namespace valdrun {

int os_type_from(const std::optional<platform::OsVersion>& version) {
    if (!version)
        return kOsTypeOfLinux;
    if (version->platform_id == platform::kPlatformWin32Windows)
        return version->major == 4 && version->minor == 0 ? kOsWindows95 : kOsWindows98;
    if (version->platform_id == platform::kPlatformWin32Nt) {
        if (version->major <= 4)
            return kOsWindowsNt4;
        return version->minor == 0 ? kOsWindows2000 : kOsWindowsXp;
    }
    return kOsTypeOfLinux;
}

int query_os_type() {
    return os_type_from(platform::query_os_version());
}

} // namespace valdrun
