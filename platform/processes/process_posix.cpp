#include "platform/processes/process.h"

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

std::uint32_t current_process_id() {
    return static_cast<std::uint32_t>(::getpid());
}

std::uint32_t current_user_id() {
    return static_cast<std::uint32_t>(::geteuid());
}

bool process_exists(std::uint32_t process_id) {
    if (process_id == 0 || process_id > 0x7FFFFFFFu) {
        return false;
    }
    return ::kill(static_cast<pid_t>(process_id), 0) == 0 || errno != ESRCH;
}

} // namespace platform
