// Restarting or shutting down Windows: the shutdown privilege switched on in the process's
// token, then ExitWindowsEx with a planned reason (an application's installation).
#include "platform/foundation/win32_text.h"
#include "platform/services/power.h"

#include <windows.h>

namespace platform {
namespace {

bool enable_shutdown_privilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        win32::take_system_error();
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = ::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege",
                                           &privileges.Privileges[0].Luid) != 0 &&
                   ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != 0;
    // AdjustTokenPrivileges succeeds without the privilege and says so in the last error.
    if (!enabled || ::GetLastError() != ERROR_SUCCESS) {
        win32::take_system_error();
        enabled = false;
    }
    ::CloseHandle(token);
    return enabled;
}

} // namespace

bool request_power(PowerRequest request) {
    if (!enable_shutdown_privilege()) {
        return false;
    }
    const UINT how = request == PowerRequest::Restart ? EWX_REBOOT : EWX_POWEROFF;
    if (!::ExitWindowsEx(how, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                  SHTDN_REASON_FLAG_PLANNED)) {
        win32::take_system_error();
        return false;
    }
    return true;
}

} // namespace platform
