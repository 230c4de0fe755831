#include "texts-and-log/platform_class.h"

#include "platform/winapi/os_version.h"

namespace shared {

int platform_class() {
    auto version = platform::query_os_version();
    if (!version) {
        return kPlatformClassOther;
    }
    switch (version->platform_id) {
    case platform::kPlatformWin32Windows:
        return kPlatformClassWin9x;
    case platform::kPlatformWin32Nt:
        return kPlatformClassNt;
    default:
        return kPlatformClassOther;
    }
}

} // namespace shared
