// A file's owner and mode from lstat.
#include "platform/files/file_trust.h"
#include "platform/foundation/last_error.h"

#include <cerrno>
#include <sys/stat.h>

namespace platform {

std::optional<FileFacts> file_facts(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        set_last_error_from_errno(errno);
        return std::nullopt;
    }
    FileFacts facts;
    facts.owner = status.st_uid;
    facts.mode = status.st_mode & 07777;
    facts.regular = S_ISREG(status.st_mode);
    facts.directory = S_ISDIR(status.st_mode);
    facts.symbolic_link = S_ISLNK(status.st_mode);
    facts.links = status.st_nlink;
    set_last_error(kErrorSuccess);
    return facts;
}

} // namespace platform
