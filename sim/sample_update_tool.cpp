// A stand-in for the firmware update tool that Valdrun starts: it records where and how it was
// started, loads the versions of the reader description in its folder ("Valdrun.ini") into the
// simulated terminal or reader that description names (sample_update_load.h), and exits with
// the code asked for. Copy it as "FWUpdate.exe" where a description names the Windows file.
//
// Requests (an argument wins over the environment):
//   -exit=N        / FWUPDATE_EXIT=N         exit with N (default 0); only with 0 is
//                                            anything loaded, and a failed load gives 2
//   -signal=N      / FWUPDATE_SIGNAL=N       end by signal N instead, loading nothing
//   -leave-child=S / FWUPDATE_LEAVE_CHILD=S  leave a process behind that lives S seconds
// The record, "FWUpdate.record" in the current folder (appended, one item a line; a line break
// inside an item is written as "\n"):
//   folder=<current folder>
//   arg<i>=<argument i>            (arg0 is the tool's own path)
//   env=<NAME=value>               (every variable of the environment)
//   child=<process id>             (with -leave-child)
#include "cli/tool_usage.h"
#include "sim/sample_update_load.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::string one_line(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

// The value of "-name=value" among the arguments, else of the environment variable.
const char* request(int argc, char** argv, std::string_view name, const char* variable) {
    const std::string prefix = "-" + std::string(name) + "=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) {
            return argv[i] + prefix.size();
        }
    }
    return std::getenv(variable);
}

// A process that outlives the tool, its standard handles let go as a background helper's are.
pid_t leave_child(int seconds) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) {
            ::dup2(null, fd);
        }
        ::sleep(static_cast<unsigned>(seconds));
        ::_exit(0);
    }
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    static constexpr cli::ToolUsage kUsage{
        "FWUpdate", "usage: FWUpdate [-exit=N] [-signal=N] [-leave-child=SECONDS]\n",
        "A stand-in for a firmware update tool (tests and demonstrations, docs/valdrun.md):\n"
        "appends to FWUpdate.record in the current folder its folder, arguments and\n"
        "environment; loads the versions of Valdrun.ini in the current folder into the\n"
        "simulated terminal or reader it describes; then ends as asked (FWUPDATE_EXIT,\n"
        "FWUPDATE_SIGNAL, FWUPDATE_LEAVE_CHILD do the same). --help and --version write no\n"
        "record.\n"};
    if (const auto answered =
            cli::answer_help_or_version(kUsage, std::vector<std::string>(argv + 1, argv + argc)))
        return *answered;
    std::FILE* record = std::fopen("FWUpdate.record", "a");
    if (record == nullptr) {
        std::perror("FWUpdate.record");
        return 2;
    }
    char folder[4096] = "";
    if (::getcwd(folder, sizeof folder) == nullptr) {
        std::strcpy(folder, "?");
    }
    std::fprintf(record, "folder=%s\n", one_line(folder).c_str());
    for (int i = 0; i < argc; ++i) {
        std::fprintf(record, "arg%d=%s\n", i, one_line(argv[i]).c_str());
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
        std::fprintf(record, "env=%s\n", one_line(*variable).c_str());
    }
    if (const char* seconds = request(argc, argv, "leave-child", "FWUPDATE_LEAVE_CHILD")) {
        std::fflush(record);
        const pid_t child = leave_child(std::atoi(seconds));
        std::fprintf(record, "child=%d\n", static_cast<int>(child));
    }
    std::fclose(record);

    if (const char* signal = request(argc, argv, "signal", "FWUPDATE_SIGNAL")) {
        std::signal(std::atoi(signal), SIG_DFL);
        std::raise(std::atoi(signal));
    }
    const char* code = request(argc, argv, "exit", "FWUPDATE_EXIT");
    if (code != nullptr && std::atoi(code) != 0)
        return std::atoi(code);
    std::string problem;
    if (sim::load_described_device("Valdrun.ini", problem) == sim::LoadOutcome::Failed) {
        std::fprintf(stderr, "FWUpdate: %s\n", problem.c_str());
        return 2;
    }
    return 0;
}
