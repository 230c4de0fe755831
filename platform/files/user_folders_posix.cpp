// The user's own folders on POSIX, after the XDG base directory rules: absolute paths only,
// missing folders created with mode 0700.
#include "platform/files/user_folders.h"
#include "platform/foundation/last_error.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// An environment variable that names an absolute path; relative ones are ignored.
std::optional<std::string> absolute_from(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> home_directory() {
    if (auto home = absolute_from("HOME")) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return std::string(found->pw_dir);
    }
    return std::nullopt;
}

// Creates `path` and the folders above it (mode 0700 for the ones made). True when it is a
// folder afterwards.
bool make_folders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            set_last_error_from_errno(errno);
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return true;
}

// `base`/`application`, made private when missing; an existing one must be a real folder of
// this user.
std::optional<std::string> own_folder(const std::string& base, std::string_view application) {
    std::string path = base;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    path += "/";
    path += application;
    if (!make_folders(path)) {
        return std::nullopt;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        set_last_error_from_errno(errno);
        return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        set_last_error(kErrorAccessDenied);
        return std::nullopt;
    }
    return path;
}

} // namespace

std::optional<std::string> user_state_directory(std::string_view application) {
    if (auto state = absolute_from("XDG_STATE_HOME")) {
        return own_folder(*state, application);
    }
    auto home = home_directory();
    if (!home) {
        set_last_error(kErrorPathNotFound);
        return std::nullopt;
    }
    return own_folder(*home + "/.local/state", application);
}

std::optional<std::string> user_runtime_directory(std::string_view application) {
    if (auto runtime = absolute_from("XDG_RUNTIME_DIR")) {
        if (auto folder = own_folder(*runtime, application)) {
            return folder;
        }
    }
    return user_state_directory(application);
}

std::string machine_runtime_directory(std::string_view application) {
    return "/run/" + std::string(application);
}

} // namespace platform
