// Reads a file's version block from its bytes: where the block is a section of the file
// rather than a resource that the system reads.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/winapi/version_info.h"

namespace platform {
namespace {

// Longest file read: program and library files are far smaller.
constexpr std::uint64_t kFileLimit = UINT64_C(256) << 20;

} // namespace

std::optional<VersionInfo> read_version_info(std::string_view path) {
    auto bytes = read_file(resolve_ignoring_case(path), kFileLimit);
    if (!bytes) {
        return std::nullopt;
    }
    auto info = parse_version_info(*bytes);
    if (!info) {
        set_last_error(1813); // ERROR_RESOURCE_TYPE_NOT_FOUND, as for a file without version
    }
    return info;
}

} // namespace platform
