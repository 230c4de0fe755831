#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/child_process.h"
#include "platform/processes/command_line_words.h"

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

std::unique_ptr<ChildProcess> start_child_process(const HeldProgram& program,
                                                  const std::string& program_path,
                                                  const std::string& command_line,
                                                  const std::string& folder, std::uint32_t& error) {
    std::vector<std::string> words{program_path};
    for (std::string& word : command_line_words(command_line)) {
        words.push_back(std::move(word));
    }
    StartOptions options;
    options.folder = native_path(folder);
    const auto pid = start_held_program(program, std::move(words), options);
    if (pid) {
        return std::make_unique<PosixChildProcess>(static_cast<pid_t>(*pid));
    }
    error = last_error();
    return nullptr;
}

} // namespace platform
