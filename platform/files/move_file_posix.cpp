#include "platform/files/files.h"
#include "platform/files/move_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

std::uint32_t move_file(std::string_view source, std::string_view target) {
    const std::string from = native_path(source);
    const std::string to = native_path(target);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return static_cast<std::uint32_t>(errno);
    }
    // A file system without the no-replace rename: a second name, then the old one removed.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        (void)::unlink(to.c_str()); // the second name goes again: the file keeps its old name
        return static_cast<std::uint32_t>(error);
    }
    return 0;
}

} // namespace platform
