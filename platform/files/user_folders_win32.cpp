// The user's own folders on Windows: %LOCALAPPDATA%\<application>, which only the user (and
// the administrators) may write; it serves as state and runtime folder.
#include "platform/files/files.h"
#include "platform/files/user_folders.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <windows.h>

namespace platform {

std::optional<std::string> user_state_directory(std::string_view application) {
    const auto local = win32::whole_text([](char* buffer, DWORD size) {
        return ::GetEnvironmentVariableA("LOCALAPPDATA", buffer, size);
    });
    if (!local) {
        set_last_error(kErrorPathNotFound);
        return std::nullopt;
    }
    std::string folder = join_path(*local, application);
    if (!create_directory(folder) || is_symbolic_link(folder)) {
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> user_runtime_directory(std::string_view application) {
    return user_state_directory(application);
}

std::string machine_runtime_directory(std::string_view application) {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("ProgramData", buffer, MAX_PATH);
    const std::string base =
        length > 0 && length < MAX_PATH ? std::string(buffer, length) : "C:\\ProgramData";
    return base + "\\" + std::string(application);
}

} // namespace platform
