// The application event log: one information event under the program's name.
#include "platform/foundation/win32_text.h"
#include "platform/services/system_log.h"

#include <string>
#include <windows.h>

namespace platform {

void system_log(std::string_view program, std::string_view line) {
    const HANDLE source = ::RegisterEventSourceW(nullptr, win32::wide(program).c_str());
    if (source == nullptr)
        return;
    const std::wstring text = win32::wide(line);
    const wchar_t* strings[] = {text.c_str()};
    ::ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    ::DeregisterEventSource(source);
}

} // namespace platform
