// A service for the housekeeping checks under Wine (scripts/windows_housekeeping.sh):
//
//     test-service.exe NAME LOG [refuse]
//
// runs as the service NAME under the service control manager. It appends "start NAME" to LOG
// before it reports that it runs and "stop NAME" when the stop control arrives, before it
// reports that it has stopped, so the log holds the order in which the manager's callers
// started and stopped the services. With "refuse" it does not accept the stop control: the
// manager turns the stop request away (1052).
#include <string>
#include <windows.h>

namespace {

std::wstring service_name;
std::wstring log_path;
bool refuses_stop = false;
SERVICE_STATUS_HANDLE status_handle = nullptr;
HANDLE stop_requested = nullptr;

void append_line(const char* what) {
    const HANDLE log =
        ::CreateFileW(log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    std::string line = what;
    line += ' ';
    for (const wchar_t c : service_name)
        line += static_cast<char>(c); // the checks' names are ASCII
    line += '\n';
    DWORD written = 0;
    ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(log);
}

void report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING && !refuses_stop ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 100 : 0;
    ::SetServiceStatus(status_handle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code != SERVICE_CONTROL_STOP)
        return code == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    append_line("stop");
    report(SERVICE_STOP_PENDING);
    ::SetEvent(stop_requested);
    return NO_ERROR;
}

void WINAPI service_main(DWORD, wchar_t**) {
    status_handle = ::RegisterServiceCtrlHandlerExW(service_name.c_str(), control, nullptr);
    if (status_handle == nullptr)
        return;
    append_line("start");
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(stop_requested, INFINITE);
    report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return 2;
    service_name = argv[1];
    log_path = argv[2];
    refuses_stop = argc > 3 && std::wstring(argv[3]) == L"refuse";
    stop_requested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{service_name.data(), service_main}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(::GetLastError());
}
