// Process ids of the system: GetCurrentProcessId, OpenProcess and GetExitCodeProcess. Under
// Wine, a process of the host system counts too: a simulator running there writes its own
// process id into the announcements that Windows programs read.
#include "platform/foundation/win32_text.h"
#include "platform/processes/process.h"

#include <string>
#include <windows.h>

namespace platform {
namespace {

// Under Wine: whether the host system has a process with this id (its /proc entry, reached
// through Wine's path prefix for host files).
bool host_process_exists(std::uint32_t process_id) {
    const std::wstring path = L"\\\\?\\unix\\proc\\" + std::to_wstring(process_id);
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool windows_process_exists(std::uint32_t process_id) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (process == nullptr) {
        return ::GetLastError() == ERROR_ACCESS_DENIED; // there, but another user's
    }
    DWORD exit_code = 0;
    const bool running =
        ::GetExitCodeProcess(process, &exit_code) != 0 && exit_code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

} // namespace

std::uint32_t current_process_id() {
    return ::GetCurrentProcessId();
}

// Windows has no user numbers: the program counts as the administrator (0) whose rights it
// may act with; file facts and process entries say the same (platform/files/file_trust.h).
std::uint32_t current_user_id() {
    return 0;
}

bool process_exists(std::uint32_t process_id) {
    return windows_process_exists(process_id) ||
           (win32::running_under_wine() && host_process_exists(process_id));
}

} // namespace platform
