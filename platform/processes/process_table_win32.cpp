// The process table from the tool-help snapshots: Process32First/Next for the processes,
// Module32First/Next for a process's modules (its program file first); ending with
// TerminateProcess and exit code 0. Every process counts as the caller's user (credentials 0,
// as current_user_id gives): Windows lets an administrator act on any of them.
#include "platform/foundation/win32_text.h"
#include "platform/processes/process_table.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

namespace platform {
namespace {

constexpr DWORD kEndWaitMs = 5000;

} // namespace

std::optional<std::vector<ProcessEntry>> process_snapshot() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        win32::take_system_error();
        return std::nullopt;
    }
    std::vector<ProcessEntry> processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        ProcessEntry process;
        process.id = entry.th32ProcessID;
        process.name = win32::utf8(entry.szExeFile);
        processes.push_back(std::move(process));
    }
    ::CloseHandle(snapshot);
    return processes;
}

std::optional<std::vector<std::string>> process_modules(std::uint32_t id) {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
    if (snapshot == INVALID_HANDLE_VALUE) {
        win32::take_system_error();
        return std::nullopt;
    }
    std::vector<std::string> modules;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32FirstW(snapshot, &entry); more;
         more = ::Module32NextW(snapshot, &entry))
        modules.push_back(win32::utf8(entry.szExePath));
    ::CloseHandle(snapshot);
    return modules;
}

bool process_alive(std::uint32_t id) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

bool end_process(std::uint32_t id) {
    const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        if (::GetLastError() == ERROR_INVALID_PARAMETER)
            return true; // gone already
        win32::take_system_error();
        return false;
    }
    bool ended = ::TerminateProcess(process, 0) != 0;
    if (!ended)
        win32::take_system_error();
    ended = ended && ::WaitForSingleObject(process, kEndWaitMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

} // namespace platform
