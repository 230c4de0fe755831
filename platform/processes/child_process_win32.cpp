// The update tool as a child process on Windows: CreateProcess of the program file with the
// description's command line alone (no program name in front of it, as update tools for this
// installer expect it) in the tool's folder, with the caller's standard handles and no other
// inherited handle; the exit code from its handle.
#include "platform/foundation/win32_text.h"
#include "platform/processes/child_process.h"

#include <windows.h>

namespace platform {
namespace {

class Win32ChildProcess : public ChildProcess {
  public:
    explicit Win32ChildProcess(HANDLE process) : process_(process) {}
    ~Win32ChildProcess() override { ::CloseHandle(process_); }

    std::optional<int> exit_code() override {
        if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        if (!::GetExitCodeProcess(process_, &code))
            return 128; // its outcome is unknown: a failure
        return static_cast<int>(code);
    }

  private:
    HANDLE process_;
};

} // namespace

std::unique_ptr<ChildProcess> start_child_process(const HeldProgram& program,
                                                  const std::string& /*program_path*/,
                                                  const std::string& command_line,
                                                  const std::string& folder, std::uint32_t& error) {
    std::wstring line = win32::wide(command_line); // CreateProcess may write into it
    const std::wstring directory = win32::wide(win32::windows_path(folder));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(win32::wide(program.path()).c_str(), line.data(), nullptr, nullptr, FALSE,
                          0, nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                          &started)) {
        error = static_cast<std::uint32_t>(win32::take_system_error());
        return nullptr;
    }
    ::CloseHandle(started.hThread);
    return std::make_unique<Win32ChildProcess>(started.hProcess);
}

} // namespace platform
