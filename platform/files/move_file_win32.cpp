// MoveFile itself: it never replaces a file of the new name.
#include "platform/files/move_file.h"
#include "platform/foundation/win32_text.h"

#include <string>
#include <windows.h>

namespace platform {

std::uint32_t move_file(std::string_view source, std::string_view target) {
    if (::MoveFileW(win32::wide(win32::windows_path(source)).c_str(),
                    win32::wide(win32::windows_path(target)).c_str())) {
        return 0;
    }
    return static_cast<std::uint32_t>(::GetLastError());
}

} // namespace platform
