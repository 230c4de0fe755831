#pragma once
// A process of the test's own under a program name of its choice ("zkaservice.exe"): a copy
// of the DummySleeper program (tests/CMakeLists.txt; add it to the test's dependencies) under
// that name in a folder, started there without arguments, waiting until a signal ends it, so
// that it also runs when started again by its path alone. With `ignore_term` it ignores
// SIGTERM, as a program that will not end politely.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace morlin_test {

class DummyProcess {
  public:
    DummyProcess(const std::filesystem::path& folder, const std::string& name,
                 bool ignore_term = false)
        : path_((folder / name).string()) {
        std::filesystem::create_directories(folder);
        std::error_code ignored;
        std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR).parent_path() / "tests" /
                                       "DummySleeper",
                                   path_, std::filesystem::copy_options::skip_existing, ignored);
        pid_ = ::fork();
        if (pid_ == 0) {
            if (ignore_term)
                ::signal(SIGTERM, SIG_IGN); // kept across exec
            if (::chdir(folder.c_str()) == 0)
                ::execl(path_.c_str(), name.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until exec has happened the child still carries the test's name.
        const auto exe = std::filesystem::path("/proc") / std::to_string(pid_) / "exe";
        for (int tries = 0; tries < 500 && running(); ++tries) {
            std::error_code no_link;
            if (std::filesystem::read_symlink(exe, no_link) == path_)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~DummyProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    DummyProcess(const DummyProcess&) = delete;
    DummyProcess& operator=(const DummyProcess&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& path() const { return path_; }

    // Whether it still runs. One that has ended is reaped here, unless its ender (the code
    // under test) has reaped it already; either way it is never signalled again.
    bool running() {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == 0)
            return true;
        pid_ = -1;
        return false;
    }

  private:
    std::string path_;
    pid_t pid_ = -1;
};

} // namespace morlin_test
