#pragma once
// Whether a file or folder that a program relies on could have been planted or changed by
// another user: what a program that runs as root (Valdrun) judges before it executes a file,
// starts a program in a folder or writes a report there. The judgement is a plain function of
// the file's owner and mode, so it is tested without root.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileFacts {
    std::uint32_t owner = 0;
    std::uint32_t mode = 0; // permission bits, as stat gives them (0755, ...)
    bool regular = false;
    bool directory = false;
    bool symbolic_link = false;
    std::uint64_t links = 1; // hard links of a regular file
};

// Why a file or folder is not to be trusted by a program that accepts `allowed_owner` (root is
// always accepted) as its owner: a symbolic link, another user as owner, or write permission
// for group or others (except on a folder of root's with the sticky bit, such as /tmp, where
// others may add names but not replace ours). Nothing when it is trusted.
std::optional<std::string> why_untrusted(const FileFacts& facts, std::uint32_t allowed_owner);

// The facts of `path` itself (a symbolic link is not followed); nothing, with the last error
// set, when it cannot be looked at.
std::optional<FileFacts> file_facts(const std::string& path);

} // namespace platform
