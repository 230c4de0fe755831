// Process ids of the system: GetCurrentProcessId, OpenProcess and GetExitCodeProcess.
#include "platform/process.h"

#include <windows.h>

namespace platform {

std::uint32_t current_process_id() {
    return ::GetCurrentProcessId();
}

bool process_exists(std::uint32_t process_id) {
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

} // namespace platform
