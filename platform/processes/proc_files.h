#pragma once
// Reading the kernel's files about a process (/proc/<id>/comm, cmdline, stat, maps). Their text
// is outside input: any process shapes its own name and command line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program's file name from comm and cmdline: comm without its line end, or, where comm is
// 15 characters long (the kernel cuts it there), the file name of the command line's program
// when that begins with comm.
std::string program_name_from(std::string_view comm, std::string_view command_line);
// The parent's id from stat: the field after the state, behind the last ')' (the name in
// parentheses may hold anything, ')' and blanks too). 0 when it cannot be read.
std::uint32_t parent_from_stat(std::string_view stat);
// The file of one maps line (its path without a " (deleted)" mark); nothing for a line without
// one (anonymous memory, [heap], [stack], ...).
std::optional<std::string> mapped_file_from(std::string_view maps_line);
// Who a process runs as, from its status file.
struct ProcessCredentials {
    std::uint32_t real_user = 0;
    std::uint32_t user = 0;            // effective
    std::uint32_t group = 0;           // effective
    std::vector<std::uint32_t> groups; // supplementary
};
// The credentials of a status text (its "Uid:", "Gid:" and "Groups:" lines); nothing when the
// user or group line is missing or broken.
std::optional<ProcessCredentials> credentials_from_status(std::string_view status);
// Whether stat says the process has ended and only waits to be reaped (state Z or X).
bool zombie_from_stat(std::string_view stat);
// A path without the " (deleted)" mark that the kernel adds to files removed since.
std::string without_deleted_mark(std::string_view path);

} // namespace platform
