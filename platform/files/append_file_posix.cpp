#include "platform/files/append_file.h"
#include "platform/foundation/last_error.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace platform {

bool append_record(std::string_view path, std::string_view text) {
    const std::string name(path);
    const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        set_last_error_from_errno(errno);
        return false;
    }
    // O_APPEND makes the seek to the end and the write one step; a short write of a regular
    // file happens only when the disk is full, and is reported as a failure.
    ssize_t written = 0;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    const int write_error = errno;
    const bool ok = written == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!ok) {
        set_last_error_from_errno(written < 0 ? write_error : ENOSPC);
    }
    return ok;
}

} // namespace platform
