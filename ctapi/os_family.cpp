#include "os_family.h"

#include "platform/winapi/os_version.h"

namespace brantel {

OsFamily query_os_family() {
    const auto version = platform::query_os_version();
    if (!version) {
        return OsFamily::Other;
    }
    switch (version->platform_id) {
    case platform::kPlatformWin32Windows:
        return OsFamily::Windows9x;
    case platform::kPlatformWin32Nt:
        return version->major >= 5 ? OsFamily::Windows2000Up : OsFamily::Other;
    default:
        return OsFamily::Other;
    }
}

} // namespace brantel
