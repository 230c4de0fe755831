// Starting a program detached: in a new session, every descriptor above standard error
// closed.
#include "platform/foundation/last_error.h"
#include "platform/processes/program_start.h"
#include "platform/processes/spawn_posix.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::uint32_t> start_program(const std::vector<std::string>& arguments,
                                           const std::string& folder) {
    if (arguments.empty() || arguments.front().empty()) {
        set_last_error(kErrorInvalidParameter);
        return std::nullopt;
    }
    struct stat folder_status {};
    if (!folder.empty() &&
        (::stat(folder.c_str(), &folder_status) != 0 || !S_ISDIR(folder_status.st_mode))) {
        set_last_error(kErrorPathNotFound);
        return std::nullopt;
    }
    pid_t pid = 0;
    const int result = spawn_program(arguments, folder, true, pid);
    if (result != 0) {
        set_last_error_from_errno(result);
        return std::nullopt;
    }
    set_last_error(kErrorSuccess);
    return static_cast<std::uint32_t>(pid);
}

} // namespace platform
