// Saving a whole file in one step on POSIX: a temporary file of a unique name in the same
// folder, then rename over the old file, under an exclusive lock on the folder.
#include "platform/files/files.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// How long a save waits for another save of the same folder before giving up.
constexpr std::uint64_t kFolderLockWaitMs = 5000;

// An open folder; closing it releases its lock.
class Folder {
  public:
    explicit Folder(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~Folder() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    int fd() const { return fd_; }

    // The exclusive lock that orders the saves of this folder; waits a bounded time, so a
    // lock that another program never gives up makes the save fail instead of hang.
    [[nodiscard]] bool lock() const {
        const std::uint64_t deadline = monotonic_ms() + kFolderLockWaitMs;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                set_last_error_from_errno(errno);
                return false;
            }
            if (monotonic_ms() >= deadline) {
                set_last_error(kErrorSharingViolation);
                return false;
            }
            ::usleep(2000);
        }
        return true;
    }

  private:
    int fd_;
};

std::string unique_temporary_name(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random) {
        random = static_cast<std::uint32_t>(monotonic_ms());
    }
    return "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" +
           std::to_string(random) + ".tmp";
}

// Creates the temporary file (mode as a new file gets it, umask applied). -1 on failure.
int create_temporary(int folder, const std::string& name, std::string& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = unique_temporary_name(name);
        const int fd = ::openat(folder, temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool write_all(int fd, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

// The file a symbolic link names (links of links followed); any other path as it is.
std::string file_behind_links(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// Writes the file itself: from its start, then cut behind the new end. Its mode, owner, group
// and links stay; a failure half way can leave it damaged, so this is the last way out.
bool write_in_place(int folder, const std::string& name, std::span<const std::uint8_t> data) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        set_last_error_from_errno(errno);
        return false;
    }
    const bool written = write_all(fd, data) &&
                         ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        set_last_error_from_errno(error);
        return false;
    }
    set_last_error(kErrorSuccess);
    return true;
}

bool writable(int folder, const std::string& name) {
    return ::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

bool save_file_replacing(std::string_view path, std::span<const std::uint8_t> data, SaveWay* way) {
    if (way != nullptr) {
        *way = SaveWay::Replaced;
    }
    const std::string target = file_behind_links(resolve_ignoring_case(path));
    const auto slash = target.rfind('/');
    const std::string folder_path = slash == std::string::npos ? std::string(".")
                                    : slash == 0               ? std::string("/")
                                                               : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const Folder folder(folder_path);
    if (folder.fd() < 0) {
        set_last_error_from_errno(errno);
        return false;
    }
    if (!folder.lock()) {
        return false;
    }
    struct stat old {};
    const bool exists = ::fstatat(folder.fd(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISREG(old.st_mode);
    const auto in_place = [&] {
        if (way != nullptr) {
            *way = SaveWay::InPlace;
        }
        return write_in_place(folder.fd(), name, data);
    };
    std::string temporary;
    const int fd = create_temporary(folder.fd(), name, temporary);
    if (fd < 0) {
        const int error = errno;
        if (exists && writable(folder.fd(), name)) {
            return in_place(); // no room for a second file beside it, but the file takes it
        }
        set_last_error_from_errno(error);
        return false;
    }
    // The new file gets the old one's owner and group; one that cannot (another user's file
    // in a shared folder) is written in place when it may be, so nothing changes hands.
    if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0 && writable(folder.fd(), name)) {
        ::close(fd);
        (void)::unlinkat(folder.fd(), temporary.c_str(), 0);
        return in_place();
    }
    bool saved = (!exists || ::fchmod(fd, old.st_mode & 07777) == 0) && write_all(fd, data) &&
                 ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && saved) {
        saved = false;
        error = errno;
    }
    if (saved && ::renameat(folder.fd(), temporary.c_str(), folder.fd(), name.c_str()) != 0) {
        saved = false;
        error = errno;
    }
    if (!saved) {
        // Only the temporary file is removed; the old file was never touched.
        (void)::unlinkat(folder.fd(), temporary.c_str(), 0);
        set_last_error_from_errno(error);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    if (::fsync(folder.fd()) != 0) {
        set_last_error_from_errno(errno);
        return false;
    }
    set_last_error(kErrorSuccess);
    return true;
}

} // namespace platform
