// Starting a program detached: posix_spawn in a new session, signal mask and dispositions
// back to their defaults, every descriptor above standard error closed.
#include "platform/last_error.h"
#include "platform/program_start.h"

#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

class SpawnSettings {
  public:
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // 0 or the errno of the first setting refused.
    int prepare(const std::string& folder) {
        sigset_t none;
        sigemptyset(&none);
        sigset_t every;
        sigfillset(&every);
        sigdelset(&every, SIGKILL);
        sigdelset(&every, SIGSTOP);
        int result = posix_spawnattr_setsigmask(&attributes_, &none);
        result = result != 0 ? result : posix_spawnattr_setsigdefault(&attributes_, &every);
        result = result != 0 ? result
                             : posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID |
                                                                          POSIX_SPAWN_SETSIGMASK |
                                                                          POSIX_SPAWN_SETSIGDEF);
        if (result == 0 && !folder.empty()) {
            result = posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
        }
        return result != 0 ? result : posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

} // namespace

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
    SpawnSettings settings;
    if (const int refused = settings.prepare(folder); refused != 0) {
        set_last_error_from_errno(refused);
        return std::nullopt;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, arguments.front().c_str(), settings.actions(),
                                     settings.attributes(), argv.data(), environ);
    if (result != 0) {
        set_last_error_from_errno(result);
        return std::nullopt;
    }
    set_last_error(kErrorSuccess);
    return static_cast<std::uint32_t>(pid);
}

} // namespace platform
