// Records appended with one WriteFile on a handle opened for appending only: the system puts
// each write whole at the end of the file, also when other processes append at the same time.
#include "platform/files/append_file.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <windows.h>

namespace platform {

bool append_record(std::string_view path, std::string_view text) {
    HANDLE file = ::CreateFileA(win32::windows_path(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        win32::take_system_error();
        return false;
    }
    DWORD put = 0;
    const bool whole =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) != 0 &&
        put == text.size();
    if (!whole) {
        win32::take_system_error();
    }
    ::CloseHandle(file);
    return whole;
}

} // namespace platform
