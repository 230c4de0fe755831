// Fuzzes the reading of the kernel's process files with arbitrary text: the input is split at
// its first two zero bytes into comm, cmdline and a stat / maps text.
#include "platform/processes/proc_files.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t first = text.find('\0');
    const std::string_view comm = text.substr(0, first);
    const std::string_view rest = first == std::string_view::npos ? "" : text.substr(first + 1);
    const std::size_t second = rest.find('\0');
    const std::string_view command_line = rest.substr(0, second);
    const std::string_view other = second == std::string_view::npos ? "" : rest.substr(second + 1);
    (void)platform::program_name_from(comm, command_line);
    (void)platform::program_name_from(comm, rest);
    (void)platform::parent_from_stat(other);
    (void)platform::mapped_file_from(other);
    (void)platform::credentials_from_status(text);
    (void)platform::zombie_from_stat(other);
    return 0;
}
