// The process table from /proc: names from comm (or the program's name in cmdline where comm
// is cut), modules from the exe link and the file mappings, ending through a pidfd.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/test_hooks.h"
#include "platform/processes/proc_files.h"
#include "platform/processes/process_table.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <map>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36 declares the pidfd functions without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

namespace platform {
namespace {

constexpr std::uint32_t kGraceMs = 2000;      // between the polite and the forced end
constexpr std::uint32_t kForcedEndMs = 5000;  // for the kernel to finish a forced end
constexpr std::size_t kSmallFileLimit = 4096; // comm, stat, the start of cmdline
constexpr int kMaxAncestors = 64;

std::optional<std::uint32_t> process_number(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> read_small_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(kSmallFileLimit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The program's file name, from comm and the start of cmdline; nothing once it has ended.
std::optional<std::string> program_name(const std::string& folder) {
    const auto comm = read_small_file(folder + "/comm");
    if (!comm) {
        return std::nullopt;
    }
    return program_name_from(*comm, read_small_file(folder + "/cmdline").value_or(""));
}

std::uint32_t parent_of(const std::string& folder) {
    return parent_from_stat(read_small_file(folder + "/stat").value_or(""));
}

std::optional<std::uint32_t> scope_from_environment() {
    const char* text = test_hook_variable("MORLIN_PROCESS_SCOPE");
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return process_number(text).value_or(0xFFFFFFFFu); // an unreadable scope shows nothing
}

bool descends_from(std::uint32_t id, std::uint32_t ancestor,
                   const std::map<std::uint32_t, std::uint32_t>& parents) {
    for (int step = 0; step < kMaxAncestors; ++step) {
        const auto it = parents.find(id);
        if (it == parents.end() || it->second == 0) {
            return false;
        }
        if (it->second == ancestor) {
            return true;
        }
        id = it->second;
    }
    return false;
}

// Whether the process behind `pidfd` ended within `wait` (the descriptor becomes readable).
bool ended_within(int pidfd, std::chrono::milliseconds wait) {
    const std::uint64_t deadline = monotonic_ms() + static_cast<std::uint64_t>(wait.count());
    for (;;) {
        const std::uint64_t now = monotonic_ms();
        const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
        pollfd entry{pidfd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, left);
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// SIGTERM, then SIGKILL after the grace; false with the last error when it did not end.
bool signal_until_ended(int pidfd) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        if (::pidfd_send_signal(pidfd, signal, nullptr, 0) < 0) {
            if (errno == ESRCH) {
                return true; // ended meanwhile
            }
            set_last_error_from_errno(errno);
            return false;
        }
        if (ended_within(pidfd, scaled(signal == SIGTERM ? kGraceMs : kForcedEndMs))) {
            return true;
        }
    }
    set_last_error(kErrorTimeout);
    return false;
}

} // namespace

std::optional<std::vector<ProcessEntry>> process_snapshot() {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        set_last_error_from_errno(errno);
        return std::nullopt;
    }
    const auto scope = scope_from_environment();
    std::vector<ProcessEntry> entries;
    std::map<std::uint32_t, std::uint32_t> parents;
    while (const dirent* entry = ::readdir(proc)) {
        const auto id = process_number(entry->d_name);
        if (!id) {
            continue;
        }
        const std::string folder = "/proc/" + std::string(entry->d_name);
        auto name = program_name(folder);
        if (!name) {
            continue; // ended meanwhile
        }
        const auto credentials =
            credentials_from_status(read_small_file(folder + "/status").value_or(""));
        if (!credentials) {
            continue; // ended meanwhile
        }
        entries.push_back({*id, std::move(*name), *credentials,
                           zombie_from_stat(read_small_file(folder + "/stat").value_or(""))});
        if (scope) {
            parents[*id] = parent_of(folder);
        }
    }
    ::closedir(proc);
    if (scope) {
        std::erase_if(entries, [&](const ProcessEntry& process) {
            return !descends_from(process.id, *scope, parents);
        });
    }
    std::sort(entries.begin(), entries.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
    set_last_error(kErrorSuccess);
    return entries;
}

std::optional<std::vector<std::string>> process_modules(std::uint32_t id) {
    const std::string folder = "/proc/" + std::to_string(id);
    char target[PATH_MAX];
    const ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target - 1);
    if (length < 0) {
        const int error = errno;
        set_last_error(::access(folder.c_str(), F_OK) != 0 ? kErrorInvalidParameter
                                                           : error_from_errno(error));
        return std::nullopt;
    }
    std::vector<std::string> modules{
        without_deleted_mark(std::string(target, static_cast<std::size_t>(length)))};
    std::ifstream maps(folder + "/maps");
    if (!maps) {
        set_last_error(::access(folder.c_str(), F_OK) != 0 ? kErrorInvalidParameter
                                                           : kErrorAccessDenied);
        return std::nullopt;
    }
    std::string line;
    while (std::getline(maps, line)) {
        auto path = mapped_file_from(line);
        if (path && std::find(modules.begin(), modules.end(), *path) == modules.end()) {
            modules.push_back(std::move(*path));
        }
    }
    set_last_error(kErrorSuccess);
    return modules;
}

bool process_alive(std::uint32_t id) {
    const auto stat = read_small_file("/proc/" + std::to_string(id) + "/stat");
    return stat && !zombie_from_stat(*stat);
}

bool end_process(std::uint32_t id) {
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX) ||
        id == static_cast<std::uint32_t>(::getpid())) {
        set_last_error(kErrorAccessDenied);
        return false;
    }
    const auto pid = static_cast<pid_t>(id);
    const int pidfd = ::pidfd_open(pid, 0);
    if (pidfd < 0) {
        if (errno == ESRCH) {
            set_last_error(kErrorSuccess);
            return true;
        }
        set_last_error_from_errno(errno);
        return false;
    }
    const bool ended = signal_until_ended(pidfd);
    ::close(pidfd);
    if (ended) {
        // Our own child is reaped; waitpid leaves every other process alone.
        static_cast<void>(::waitpid(pid, nullptr, WNOHANG));
        set_last_error(kErrorSuccess);
    }
    return ended;
}

} // namespace platform
