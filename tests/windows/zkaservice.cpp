// A stand-in for the companion process zkaservice.exe in the housekeeping checks under Wine
// (scripts/windows_housekeeping.sh): appends "started <process id>" to started.txt beside its
// program file, then sleeps until it is ended. Valdrun starts it again without arguments, in
// its own folder.
#include <string>
#include <windows.h>

int main() {
    wchar_t program[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
    std::wstring path(program, length);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"started.txt";
    const HANDLE file =
        ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const std::string line = "started " + std::to_string(::GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
    ::Sleep(INFINITE);
    return 0;
}
