#include "platform/processes/spawn_posix.h"

#include <csignal>
#include <spawn.h>

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
    int prepare(const std::string& folder, bool detached) {
        sigset_t none;
        sigemptyset(&none);
        sigset_t every;
        sigfillset(&every);
        sigdelset(&every, SIGKILL);
        sigdelset(&every, SIGSTOP);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (detached) {
            flags |= POSIX_SPAWN_SETSID;
        }
        int result = posix_spawnattr_setsigmask(&attributes_, &none);
        result = result != 0 ? result : posix_spawnattr_setsigdefault(&attributes_, &every);
        result = result != 0 ? result : posix_spawnattr_setflags(&attributes_, flags);
        if (result == 0 && !folder.empty()) {
            result = posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
        }
        if (result == 0 && detached) {
            result = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
        }
        return result;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

} // namespace

int spawn_program(std::vector<std::string> arguments, const std::string& folder, bool detached,
                  pid_t& pid) {
    SpawnSettings settings;
    if (const int refused = settings.prepare(folder, detached); refused != 0) {
        return refused;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return ::posix_spawn(&pid, arguments.front().c_str(), settings.actions(), settings.attributes(),
                         argv.data(), environ);
}

} // namespace platform
