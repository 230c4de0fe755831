// The text of the kernel's process files.
#include "platform/processes/proc_files.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t kNameLength = 15; // what the kernel keeps of a program's name

std::string_view next_field(std::string_view& text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const std::size_t end = text.find(' ');
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return field;
}

// The numbers after "<key>:" on the status line of that key; empty when the line is missing.
std::optional<std::vector<std::uint32_t>> status_numbers(std::string_view status,
                                                         std::string_view key) {
    std::size_t start = 0;
    while (start < status.size()) {
        const std::size_t end = std::min(status.find('\n', start), status.size());
        std::string_view line = status.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(key) || line.substr(key.size(), 1) != ":")
            continue;
        line.remove_prefix(key.size() + 1);
        std::vector<std::uint32_t> numbers;
        for (;;) {
            const std::size_t first = line.find_first_not_of(" \t");
            if (first == std::string_view::npos)
                return numbers;
            line.remove_prefix(first);
            std::uint32_t value = 0;
            const auto [rest, error] =
                std::from_chars(line.data(), line.data() + line.size(), value);
            if (error != std::errc{})
                return std::nullopt;
            numbers.push_back(value);
            line.remove_prefix(static_cast<std::size_t>(rest - line.data()));
        }
    }
    return std::nullopt;
}
} // namespace

std::string program_name_from(std::string_view comm, std::string_view command_line) {
    if (comm.ends_with('\n')) {
        comm.remove_suffix(1);
    }
    if (comm.size() == kNameLength) {
        const std::string_view program = command_line.substr(0, command_line.find('\0'));
        const std::size_t separator = program.find_last_of('/');
        const std::string_view file =
            separator == std::string_view::npos ? program : program.substr(separator + 1);
        if (file.starts_with(comm)) {
            return std::string(file);
        }
    }
    return std::string(comm);
}

std::uint32_t parent_from_stat(std::string_view stat) {
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string_view::npos) {
        return 0;
    }
    std::string_view rest = stat.substr(name_end + 1);
    next_field(rest); // the state
    const std::string_view parent = next_field(rest);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(parent.data(), parent.data() + parent.size(), value);
    return error == std::errc{} && end == parent.data() + parent.size() ? value : 0;
}

std::optional<std::string> mapped_file_from(std::string_view maps_line) {
    // Address, permissions, offset, device and inode hold no '/': the first one starts the path.
    const std::size_t path_start = maps_line.find('/');
    if (path_start == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view path = maps_line.substr(path_start);
    if (path.ends_with('\n')) {
        path.remove_suffix(1);
    }
    return without_deleted_mark(path);
}

std::optional<ProcessCredentials> credentials_from_status(std::string_view status) {
    const auto users = status_numbers(status, "Uid");
    const auto groups = status_numbers(status, "Gid");
    if (!users || !groups || users->size() < 2 || groups->size() < 2)
        return std::nullopt;
    ProcessCredentials credentials;
    credentials.real_user = (*users)[0];
    credentials.user = (*users)[1];
    credentials.group = (*groups)[1];
    credentials.groups = status_numbers(status, "Groups").value_or(std::vector<std::uint32_t>{});
    return credentials;
}

bool zombie_from_stat(std::string_view stat) {
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string_view::npos)
        return false;
    std::string_view rest = stat.substr(name_end + 1);
    const std::string_view state = next_field(rest);
    return state == "Z" || state == "X";
}

std::string without_deleted_mark(std::string_view path) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) {
        path.remove_suffix(kDeleted.size());
    }
    return std::string(path);
}

} // namespace platform
