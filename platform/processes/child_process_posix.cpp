#include "platform/files/files.h"
#include "platform/processes/child_process.h"
#include "platform/processes/command_line_words.h"
#include "platform/processes/spawn_posix.h"

#include <cerrno>
#include <sys/types.h>
#include <sys/wait.h>
#include <vector>

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
    pid_t pid = 0;
    const int result = spawn_program(std::move(words), native_path(folder), false, pid);
    if (result == 0) {
        return std::make_unique<PosixChildProcess>(pid);
    }
    error = static_cast<std::uint32_t>(result);
    return nullptr;
}

} // namespace platform
