#include "platform/foundation/win32_text.h"

#include "platform/foundation/last_error.h"

#include <windows.h>

namespace platform::win32 {

std::string windows_path(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

unsigned long take_system_error() {
    const DWORD code = ::GetLastError();
    set_last_error(code);
    return code;
}

} // namespace platform::win32
