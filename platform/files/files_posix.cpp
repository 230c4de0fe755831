// Files and directories on POSIX, with the Windows semantics the subsystems rely on.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool is_regular(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string directory_or_current(std::string_view directory) {
    return directory.empty() ? std::string(".") : native_path(directory);
}

// Splits a native path into folder and last component ("" folder = current directory).
std::pair<std::string, std::string> split_last(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {"", path};
    }
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// The name of the regular file in `folder` that equals `name` ignoring case; an exact match
// wins. `name` is one path component.
std::optional<std::string> entry_ignoring_case(const std::string& folder, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    if (is_regular(folder + "/" + name)) {
        return name;
    }
    std::optional<std::string> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (::strcasecmp(entry->d_name, name.c_str()) == 0 &&
                is_regular(folder + "/" + entry->d_name)) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    return found;
}

class PosixFile final : public File {
  public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        for (;;) {
            ssize_t got = ::read(fd_, buffer.data(), buffer.size());
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                set_last_error_from_errno(errno);
                return std::nullopt;
            }
        }
    }

    bool write(std::span<const std::uint8_t> data) override {
        while (!data.empty()) {
            ssize_t put = ::write(fd_, data.data(), data.size());
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                set_last_error_from_errno(errno);
                return false;
            }
            data = data.subspan(static_cast<std::size_t>(put));
        }
        return true;
    }

    std::optional<std::uint64_t> size() override {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            set_last_error_from_errno(errno);
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    bool write_at(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        if (offset > static_cast<std::uint64_t>(LLONG_MAX)) {
            set_last_error(kErrorInvalidParameter);
            return false;
        }
        // On Linux a positioned write to a file opened for appending still appends: leave
        // append mode for the duration of the write.
        const int flags = ::fcntl(fd_, F_GETFL);
        const bool appending = flags >= 0 && (flags & O_APPEND) != 0;
        if (appending && ::fcntl(fd_, F_SETFL, flags & ~O_APPEND) != 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        bool written = true;
        auto position = static_cast<off_t>(offset);
        while (!data.empty()) {
            ssize_t put = ::pwrite(fd_, data.data(), data.size(), position);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                set_last_error_from_errno(errno);
                written = false;
                break;
            }
            data = data.subspan(static_cast<std::size_t>(put));
            position += put;
        }
        if (appending && ::fcntl(fd_, F_SETFL, flags) != 0 && written) {
            set_last_error_from_errno(errno);
            written = false;
        }
        return written;
    }

    bool truncate(std::uint64_t size) override {
        if (size > static_cast<std::uint64_t>(LLONG_MAX) ||
            ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            set_last_error(size > static_cast<std::uint64_t>(LLONG_MAX) ? kErrorInvalidParameter
                                                                        : error_from_errno(errno));
            return false;
        }
        return true;
    }

    bool seek(std::uint64_t offset) override {
        if (offset > static_cast<std::uint64_t>(LLONG_MAX) ||
            ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            set_last_error(offset > static_cast<std::uint64_t>(LLONG_MAX)
                               ? kErrorInvalidParameter
                               : error_from_errno(errno));
            return false;
        }
        return true;
    }

    bool seek_end() override {
        if (::lseek(fd_, 0, SEEK_END) < 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        return true;
    }

    bool flush() override {
        if (::fdatasync(fd_) != 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        return true;
    }

  private:
    int fd_;
};

// Opened without blocking, so that a pipe or device name never holds the caller in open();
// File::open takes the blocking mode back once it knows the name is a regular file.
int open_flags(const OpenOptions& options) {
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (options.access) {
    case Access::Read:
        flags |= O_RDONLY;
        break;
    case Access::Write:
        flags |= O_WRONLY;
        break;
    case Access::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    switch (options.disposition) {
    case Disposition::OpenExisting:
        break;
    case Disposition::CreateAlways: // truncated only once the sharing lock is held
    case Disposition::OpenAlways:
        flags |= O_CREAT;
        break;
    case Disposition::CreateNew:
        flags |= O_CREAT | O_EXCL;
        break;
    }
    if (options.write_through) {
        flags |= O_DSYNC;
    }
    if (options.append) {
        flags |= O_APPEND;
    }
    if (options.refuse_symlink) {
        flags |= O_NOFOLLOW;
    }
    return flags;
}

} // namespace

std::string native_path(std::string_view path) {
    std::string result(path);
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::vector<std::string> find_files(std::string_view directory, std::string_view pattern) {
    std::vector<std::string> names;
    std::string folder = directory_or_current(directory);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        set_last_error_from_errno(errno);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !wildcard_match(pattern, name)) {
            continue;
        }
        if (is_regular(join_path(folder, name))) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int folded = ::strcasecmp(a.c_str(), b.c_str());
        return folded != 0 ? folded < 0 : a < b;
    });
    set_last_error(names.empty() ? kErrorFileNotFound : kErrorSuccess);
    return names;
}

std::optional<std::string> find_file_ignoring_case(std::string_view directory,
                                                   std::string_view name) {
    std::string folder = directory.empty() ? current_directory() : native_path(directory);
    auto entry = entry_ignoring_case(folder, native_path(name));
    if (!entry) {
        set_last_error(kErrorFileNotFound);
        return std::nullopt;
    }
    return join_path(folder, *entry);
}

std::string resolve_ignoring_case(std::string_view path) {
    std::string native = native_path(path);
    if (native.empty() || is_regular(native)) {
        return native;
    }
    auto [folder, name] = split_last(native);
    auto entry = entry_ignoring_case(folder.empty() ? std::string(".") : folder, name);
    if (!entry) {
        return native;
    }
    return folder.empty() ? *entry : join_path(folder, *entry);
}

bool file_exists(std::string_view path) {
    return is_regular(native_path(path));
}

bool is_symbolic_link(std::string_view path) {
    struct stat info {};
    return ::lstat(native_path(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool directory_exists(std::string_view path) {
    struct stat info {};
    return ::stat(native_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool create_directory(std::string_view path) {
    std::string native = native_path(path);
    if (::mkdir(native.c_str(), 0777) == 0 || (errno == EEXIST && directory_exists(native))) {
        return true;
    }
    set_last_error_from_errno(errno);
    return false;
}

bool create_private_directory(std::string_view path) {
    std::string native = native_path(path);
    if (::mkdir(native.c_str(), 0700) == 0 || (errno == EEXIST && directory_exists(native))) {
        return true;
    }
    set_last_error_from_errno(errno);
    return false;
}

bool delete_file(std::string_view path) {
    if (::unlink(native_path(path).c_str()) == 0) {
        return true;
    }
    set_last_error_from_errno(errno);
    return false;
}

bool replace_file(std::string_view source, std::string_view target) {
    if (::rename(native_path(source).c_str(), native_path(target).c_str()) == 0) {
        return true;
    }
    set_last_error_from_errno(errno);
    return false;
}

std::string current_directory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        set_last_error_from_errno(errno);
        return ".";
    }
    return buffer;
}

const char* temp_directory_variable() {
    return "TMPDIR";
}

std::string temp_directory() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string program_path() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        set_last_error_from_errno(errno);
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string program_directory() {
    return split_last(program_path()).first;
}

std::string folder_of(std::string_view path) {
    return split_last(std::string(path)).first;
}

std::unique_ptr<File> File::open(std::string_view path, const OpenOptions& options) {
    std::string native = native_path(path);
    if (!options.exact_name && options.disposition != Disposition::CreateNew &&
        !is_regular(native)) {
        // Honour a differently cased name of an existing file, as Windows would.
        native = resolve_ignoring_case(native);
    }
    int fd = ::open(native.c_str(), open_flags(options), options.private_file ? 0600 : 0666);
    if (fd < 0) {
        set_last_error(errno == EEXIST ? kErrorFileExists : error_from_errno(errno));
        return nullptr;
    }
    // Only regular files: a folder is refused as CreateFile refuses it; a pipe or a device
    // cannot be opened under a file name on Windows either.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        set_last_error(kErrorAccessDenied);
        return nullptr;
    }
    // Sharing: an open that shares nothing takes an exclusive lock; every other open takes a
    // shared one, so it fails while someone holds the file without sharing, and vice versa.
    int lock = options.share == Share::None ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        set_last_error(error == EWOULDBLOCK ? kErrorSharingViolation : error_from_errno(error));
        return nullptr;
    }
    if (options.disposition == Disposition::CreateAlways && ::ftruncate(fd, 0) != 0) {
        int error = errno;
        ::close(fd);
        set_last_error_from_errno(error);
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<PosixFile>(fd);
}

} // namespace platform
