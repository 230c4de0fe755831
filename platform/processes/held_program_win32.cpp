// Program files held open on Windows: the file stays open without write or delete sharing from
// the moment it was judged until its process has started, so no other file can take its name
// meanwhile. Started with CreateProcess by that path, without inherited handles.
#include "platform/files/file_trust.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/processes/held_program.h"
#include "platform/processes/process_table.h"

#include <cstdint>
#include <string>
#include <utility>
#include <windows.h>

namespace platform {
namespace {

HANDLE handle_of(int descriptor) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor));
}

// One argument as CommandLineToArgvW reads it back: quoted when it holds blanks, tabs or
// quotes, a quote escaped, backslashes doubled before a quote or the closing quote.
std::string quoted(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
        return word;
    }
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        result.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, '\\');
    return result + "\"";
}

} // namespace

HeldProgram::HeldProgram(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)) {}

HeldProgram::HeldProgram(HeldProgram&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)),
      facts_(other.facts_), script_(other.script_) {}

HeldProgram& HeldProgram::operator=(HeldProgram&& other) noexcept {
    if (this != &other) {
        if (descriptor_ != -1)
            ::CloseHandle(handle_of(descriptor_));
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
        facts_ = other.facts_;
        script_ = other.script_;
    }
    return *this;
}

HeldProgram::~HeldProgram() {
    if (descriptor_ != -1)
        ::CloseHandle(handle_of(descriptor_));
}

std::optional<HeldProgram> HeldProgram::open(const std::string& path) {
    const std::string native = win32::windows_path(path);
    const HANDLE file = ::CreateFileW(win32::wide(native).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        win32::take_system_error();
        return std::nullopt;
    }
    HeldProgram program(static_cast<int>(reinterpret_cast<std::intptr_t>(file)), native);
    const auto facts = file_facts(native);
    if (!facts)
        return std::nullopt;
    program.facts_ = *facts;
    return program;
}

// The first module of the process's module snapshot is its program file; a snapshot that gives
// none (a 32-bit process seen from a 64-bit one) leaves the name the system keeps for it.
std::optional<HeldProgram> HeldProgram::of_process(std::uint32_t id) {
    if (const auto modules = process_modules(id); modules && !modules->empty())
        return open(modules->front());
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        win32::take_system_error();
        return std::nullopt;
    }
    wchar_t path[MAX_PATH * 4] = {};
    DWORD length = MAX_PATH * 4;
    const bool named = ::QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    if (!named)
        win32::take_system_error();
    ::CloseHandle(process);
    if (!named)
        return std::nullopt;
    return open(win32::utf8(std::wstring_view(path, length)));
}

// The credentials are the caller's: a program that may not run with Valdrun's rights was
// refused before it got here (platform/files/file_trust.h).
std::optional<std::uint32_t> start_held_program(const HeldProgram& program,
                                                std::vector<std::string> arguments,
                                                const StartOptions& options) {
    std::string command_line;
    for (const std::string& word : arguments)
        command_line += (command_line.empty() ? "" : " ") + quoted(word);
    std::wstring wide_line = win32::wide(command_line);
    const std::wstring folder = win32::wide(win32::windows_path(options.folder));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const DWORD flags = options.detached ? DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP : 0;
    if (!::CreateProcessW(win32::wide(program.path()).c_str(), wide_line.data(), nullptr, nullptr,
                          FALSE, flags, nullptr, folder.empty() ? nullptr : folder.c_str(),
                          &startup, &started)) {
        win32::take_system_error();
        return std::nullopt;
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return static_cast<std::uint32_t>(started.dwProcessId);
}

} // namespace platform
