// Program files held open, and started from their descriptor with fork and fexecve: between
// the two only system calls that are safe in the child of a threaded program.
#include "platform/foundation/last_error.h"
#include "platform/processes/held_program.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace platform {
namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

bool starts_as_script(int descriptor) {
    char start[2] = {};
    return ::pread(descriptor, start, sizeof start, 0) == 2 && start[0] == '#' && start[1] == '!';
}

// Everything the child needs, prepared before the fork: it then only makes system calls.
struct ChildPlan {
    int program = -1;
    bool keep_program_open = false;
    const char* name_link = nullptr; // a link under the program's name to its descriptor
    const char* folder = nullptr;
    bool detached = false;
    bool switch_user = false;
    uid_t user = 0;
    gid_t group = 0;
    std::vector<gid_t> groups;
    std::vector<char*> argv;
    int report = -1; // the errno of a failed step goes here
};

[[noreturn]] void fail_in_child(int report, int error) {
    const ssize_t ignored = ::write(report, &error, sizeof error);
    static_cast<void>(ignored);
    ::_exit(127);
}

[[noreturn]] void run_child(const ChildPlan& plan) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number)
        ::sigaction(signal_number, &default_action, nullptr);
    if (plan.detached) {
        if (::setsid() < 0)
            fail_in_child(plan.report, errno);
        const int null_device = ::open("/dev/null", O_RDWR);
        if (null_device < 0)
            fail_in_child(plan.report, errno);
        for (int standard = 0; standard <= 2; ++standard) {
            if (::dup2(null_device, standard) < 0)
                fail_in_child(plan.report, errno);
        }
        // Every other descriptor closes on exec (the report pipe and the program already do).
        if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
            for (int descriptor = 3; descriptor < 65536; ++descriptor)
                ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
        }
    }
    if (plan.folder != nullptr && ::chdir(plan.folder) != 0)
        fail_in_child(plan.report, errno);
    if (plan.switch_user && (::setgroups(plan.groups.size(), plan.groups.data()) != 0 ||
                             ::setgid(plan.group) != 0 || ::setuid(plan.user) != 0))
        fail_in_child(plan.report, errno);
    if (plan.keep_program_open && ::fcntl(plan.program, F_SETFD, 0) != 0)
        fail_in_child(plan.report, errno);
    if (plan.name_link != nullptr)
        ::execve(plan.name_link, plan.argv.data(), environ);
    else
        ::fexecve(plan.program, plan.argv.data(), environ);
    fail_in_child(plan.report, errno);
}

// The kernel names a process after the file name it was started by: started from its
// descriptor alone, zkaservice.exe would be listed as "3". A private folder with a link of the
// program's own name to the descriptor gives it its name and still runs the file held.
class NameLink {
  public:
    NameLink(const HeldProgram& program, const std::string& started_as) {
        if (program.script())
            return; // an interpreter reopens its script by name later: the descriptor serves
        std::string folder = "/tmp/held-program-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr)
            return;
        folder_ = folder;
        const std::string name = started_as.substr(started_as.find_last_of('/') + 1);
        const std::string target = "/proc/self/fd/" + std::to_string(program.descriptor());
        const std::string link = folder_ + "/" + (name.empty() ? "program" : name);
        if (::symlink(target.c_str(), link.c_str()) == 0)
            link_ = link;
    }
    ~NameLink() {
        if (!link_.empty())
            ::unlink(link_.c_str());
        if (!folder_.empty())
            ::rmdir(folder_.c_str());
    }
    NameLink(const NameLink&) = delete;
    NameLink& operator=(const NameLink&) = delete;

    const char* path() const { return link_.empty() ? nullptr : link_.c_str(); }

  private:
    std::string folder_;
    std::string link_;
};

} // namespace

HeldProgram::HeldProgram(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)), script_(starts_as_script(descriptor)) {
    struct stat status {};
    if (::fstat(descriptor_, &status) == 0) {
        facts_.owner = status.st_uid;
        facts_.mode = status.st_mode & 07777;
        facts_.regular = S_ISREG(status.st_mode);
        facts_.links = status.st_nlink;
    }
}

HeldProgram::HeldProgram(HeldProgram&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)),
      facts_(other.facts_), script_(other.script_) {}

HeldProgram& HeldProgram::operator=(HeldProgram&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
        facts_ = other.facts_;
        script_ = other.script_;
    }
    return *this;
}

HeldProgram::~HeldProgram() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

std::optional<HeldProgram> HeldProgram::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        set_last_error_from_errno(errno);
        return std::nullopt;
    }
    HeldProgram program(descriptor, path);
    if (!program.facts_.regular) {
        set_last_error(kErrorAccessDenied);
        return std::nullopt;
    }
    set_last_error(kErrorSuccess);
    return program;
}

std::optional<HeldProgram> HeldProgram::of_process(std::uint32_t id) {
    const std::string link = "/proc/" + std::to_string(id) + "/exe";
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    const int descriptor = length < 0 ? -1 : ::open(link.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        set_last_error(errno == ENOENT || errno == ESRCH ? kErrorInvalidParameter
                                                         : error_from_errno(errno));
        return std::nullopt;
    }
    std::string path(target, static_cast<std::size_t>(length));
    if (path.ends_with(kDeletedMark))
        path.resize(path.size() - kDeletedMark.size());
    set_last_error(kErrorSuccess);
    return HeldProgram(descriptor, std::move(path));
}

std::optional<std::uint32_t> start_held_program(const HeldProgram& program,
                                                std::vector<std::string> arguments,
                                                const StartOptions& options) {
    if (program.descriptor() < 0 || arguments.empty()) {
        set_last_error(kErrorInvalidParameter);
        return std::nullopt;
    }
    struct stat folder_status {};
    if (!options.folder.empty() &&
        (::stat(options.folder.c_str(), &folder_status) != 0 || !S_ISDIR(folder_status.st_mode))) {
        set_last_error(kErrorPathNotFound);
        return std::nullopt;
    }
    const NameLink name_link(program, arguments.front());
    ChildPlan plan;
    plan.program = program.descriptor();
    plan.name_link = name_link.path();
    plan.keep_program_open = program.script();
    plan.folder = options.folder.empty() ? nullptr : options.folder.c_str();
    plan.detached = options.detached;
    if (options.credentials) {
        plan.user = options.credentials->user;
        plan.group = options.credentials->group;
        plan.groups.assign(options.credentials->groups.begin(), options.credentials->groups.end());
        // Only root changes who it is; anyone else starts as itself.
        plan.switch_user =
            ::geteuid() == 0 && (plan.user != ::geteuid() || plan.group != ::getegid());
    }
    for (std::string& argument : arguments)
        plan.argv.push_back(argument.data());
    plan.argv.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        set_last_error_from_errno(errno);
        return std::nullopt;
    }
    plan.report = report[1];
    const pid_t pid = ::fork();
    if (pid == 0)
        run_child(plan);
    ::close(report[1]);
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        set_last_error_from_errno(error);
        return std::nullopt;
    }
    int child_error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &child_error, sizeof child_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof child_error)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        set_last_error_from_errno(child_error);
        return std::nullopt;
    }
    set_last_error(kErrorSuccess);
    return static_cast<std::uint32_t>(pid);
}

} // namespace platform
