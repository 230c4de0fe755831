// Judging a file or folder by its owner and mode.
#include "platform/files/file_trust.h"

namespace platform {
namespace {

constexpr std::uint32_t kRoot = 0;
constexpr std::uint32_t kGroupWrite = 0020;
constexpr std::uint32_t kOthersWrite = 0002;
constexpr std::uint32_t kSticky = 01000;

} // namespace

std::optional<std::string> why_untrusted(const FileFacts& facts, std::uint32_t allowed_owner) {
    if (facts.symbolic_link)
        return "it is a symbolic link";
    if (facts.owner != kRoot && facts.owner != allowed_owner)
        return "it belongs to user " + std::to_string(facts.owner);
    // In root's sticky folder (such as /tmp) others may add names but never replace or remove
    // one of ours: every file in it is judged by itself.
    const bool roots_sticky_folder =
        facts.directory && facts.owner == kRoot && (facts.mode & kSticky) != 0;
    if (!roots_sticky_folder && (facts.mode & (kGroupWrite | kOthersWrite)) != 0)
        return "it is writable by group or others";
    return std::nullopt;
}

} // namespace platform
