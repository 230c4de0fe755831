#include "platform/child_process.h"
#include "platform/command_line_words.h"
#include "platform/files.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

constexpr int kSignalExitBase = 128;

class PosixChildProcess : public ChildProcess {
  public:
    explicit PosixChildProcess(pid_t pid) : pid_(pid) {}
    // A child that still runs is left alone; it is reaped when this process ends.
    ~PosixChildProcess() override { (void)exit_code(); }

    std::optional<int> exit_code() override {
        if (ended_) {
            return code_;
        }
        int status = 0;
        pid_t done = 0;
        do {
            done = ::waitpid(pid_, &status, WNOHANG);
        } while (done < 0 && errno == EINTR);
        if (done == 0) {
            return std::nullopt;
        }
        ended_ = true;
        if (done < 0) {
            code_ = kSignalExitBase; // reaped elsewhere: its outcome is unknown, a failure
        } else if (WIFEXITED(status)) {
            code_ = WEXITSTATUS(status);
        } else {
            code_ = kSignalExitBase + WTERMSIG(status);
        }
        return code_;
    }

  private:
    pid_t pid_;
    bool ended_ = false;
    int code_ = 0;
};

// The child starts with no blocked signals and the usual actions for the signals a program
// may have caught or ignored itself.
int reset_signals(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal :
         {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2}) {
        sigaddset(&defaults, signal);
    }
    int result = posix_spawnattr_setsigmask(&attributes, &none);
    if (result == 0) {
        result = posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    if (result == 0) {
        result =
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    return result;
}

} // namespace

std::unique_ptr<ChildProcess> start_child_process(const std::string& program,
                                                  const std::string& command_line,
                                                  const std::string& folder, std::uint32_t& error) {
    // The child changes to `folder` before it looks for the program: a relative path is
    // taken from here first.
    std::string path = native_path(program);
    if (!path.empty() && path.front() != '/') {
        path = join_path(current_directory(), path);
    }
    std::vector<std::string> words = command_line_words(command_line);
    words.insert(words.begin(), path);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int result = posix_spawn_file_actions_init(&actions);
    if (result != 0) {
        error = static_cast<std::uint32_t>(result);
        return nullptr;
    }
    result = posix_spawnattr_init(&attributes);
    if (result == 0) {
        result = posix_spawn_file_actions_addchdir_np(&actions, native_path(folder).c_str());
        if (result == 0) {
            result = reset_signals(attributes);
        }
        pid_t pid = 0;
        if (result == 0) {
            // posix_spawn, not posix_spawnp: the program is named by its path, never searched.
            result = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        if (result == 0) {
            return std::make_unique<PosixChildProcess>(pid);
        }
    } else {
        posix_spawn_file_actions_destroy(&actions);
    }
    error = static_cast<std::uint32_t>(result);
    return nullptr;
}

} // namespace platform
