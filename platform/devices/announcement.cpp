#include "platform/devices/announcement.h"

#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/process.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <system_error>
#include <utility>

namespace platform {
namespace {

std::string_view trim(std::string_view text) {
    const auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && !CaseInsensitiveLess{}(a, b) && !CaseInsensitiveLess{}(b, a);
}

enum class Section { None, Device, DeviceKey, MachineKey };

bool parse_process_id(std::string_view text, std::uint32_t& process_id) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) {
        return false;
    }
    process_id = value;
    return true;
}

// Says once per file and process that an announcement outlived its writer.
void report_left_over(const std::filesystem::path& file, std::uint32_t process_id) {
    static std::mutex lock;
    static std::set<std::pair<std::string, std::uint32_t>> reported;
    std::lock_guard guard(lock);
    if (reported.emplace(file.string(), process_id).second) {
        std::fprintf(stderr,
                     "morlin: skipping device announcement %s: its process %u has ended "
                     "(left over; delete the file)\n",
                     file.string().c_str(), process_id);
    }
}

std::string larger_than_allowed() {
    return "file larger than " + std::to_string(kMaxAnnouncementBytes) + " bytes";
}

std::string unreadable_reason(std::uint32_t error) {
    if (error == kErrorInsufficientBuffer) {
        return larger_than_allowed();
    }
    if (error == kErrorAccessDenied) {
        return "not a regular file, or not readable";
    }
    return "cannot be read (error " + std::to_string(error) + ")";
}

} // namespace

std::optional<Announcement> parse_announcement(std::string_view text, std::string& error) {
    if (text.size() > kMaxAnnouncementBytes) {
        error = larger_than_allowed();
        return std::nullopt;
    }
    if (text.find('\0') != std::string_view::npos) {
        error = "file holds a zero byte";
        return std::nullopt;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }

    Announcement result;
    Section section = Section::None;
    std::string machine_key;
    std::size_t line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++line_number;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2) {
                error = where + "bad section header";
                return std::nullopt;
            }
            const std::string_view name = trim(line.substr(1, line.size() - 2));
            if (name.empty()) {
                error = where + "empty section name";
                return std::nullopt;
            }
            if (equals_ignoring_case(name, "Device")) {
                section = Section::Device;
            } else if (equals_ignoring_case(name, "DeviceKey")) {
                section = Section::DeviceKey;
            } else {
                section = Section::MachineKey;
                machine_key = std::string(name);
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = where + "not a Name=Value line";
            return std::nullopt;
        }
        const std::string_view name = trim(line.substr(0, equals));
        const std::string value(trim(line.substr(equals + 1)));
        if (name.empty()) {
            error = where + "empty value name";
            return std::nullopt;
        }
        DeviceRecord& device = result.device;
        switch (section) {
        case Section::None:
            error = where + "value outside a section";
            return std::nullopt;
        case Section::DeviceKey:
            device.device_key.insert_or_assign(std::string(name), value);
            break;
        case Section::MachineKey:
            result.machine_keys[machine_key].insert_or_assign(std::string(name), value);
            break;
        case Section::Device:
            if (equals_ignoring_case(name, "Class")) {
                auto guid = normalized_guid(value);
                if (!guid) {
                    error = where + "Class is not a GUID in braces";
                    return std::nullopt;
                }
                device.class_guid = std::move(*guid);
            } else if (equals_ignoring_case(name, "InstanceId")) {
                device.instance_id = value;
            } else if (equals_ignoring_case(name, "HardwareId")) {
                if (device.hardware_ids.size() >= kMaxHardwareIds) {
                    error = where + "too many hardware IDs";
                    return std::nullopt;
                }
                if (!value.empty()) {
                    device.hardware_ids.push_back(value);
                }
            } else if (equals_ignoring_case(name, "InterfacePath")) {
                device.interface_path = value;
            } else if (equals_ignoring_case(name, "Port")) {
                device.port_address = value;
            } else if (equals_ignoring_case(name, "ProcessId")) {
                if (!parse_process_id(value, result.process_id)) {
                    error = where + "ProcessId is not a process number";
                    return std::nullopt;
                }
            } // other names: left for newer writers
            break;
        }
    }
    if (result.device.class_guid.empty()) {
        error = "no Class in [Device]";
        return std::nullopt;
    }
    if (result.device.instance_id.empty()) {
        error = "no InstanceId in [Device]";
        return std::nullopt;
    }
    return result;
}

std::optional<std::filesystem::path> announcement_folder() {
    const char* folder = std::getenv("MORLIN_DEVICES");
    if (folder == nullptr || *folder == '\0') {
        return std::nullopt;
    }
    return std::filesystem::path(folder);
}

bool is_announcement_name(std::string_view file_name) {
    return !file_name.empty() && file_name.front() != '.' && file_name.size() > 7 &&
           file_name.ends_with(".device");
}

std::optional<std::string> read_announcement_text(const std::filesystem::path& file) {
    // Only a regular file is read, and never more than an announcement may hold: a pipe or a
    // device put in the folder must not hold up a listing or the device watcher.
    OpenOptions exact;
    exact.exact_name = true;
    const auto bytes = read_file(file.string(), kMaxAnnouncementBytes, exact);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

std::optional<Announcement> read_announcement(const std::filesystem::path& file) {
    const auto text = read_announcement_text(file);
    if (!text) {
        const std::uint32_t why = last_error();
        if (why == kErrorFileNotFound || why == kErrorPathNotFound) {
            return std::nullopt; // gone between listing and reading: unplugged meanwhile
        }
        std::fprintf(stderr, "morlin: skipping device announcement %s: %s\n", file.string().c_str(),
                     unreadable_reason(why).c_str());
        return std::nullopt;
    }
    std::string error;
    auto announcement = parse_announcement(*text, error);
    if (!announcement) {
        std::fprintf(stderr, "morlin: skipping device announcement %s: %s\n", file.string().c_str(),
                     error.c_str());
        return std::nullopt;
    }
    if (announcement->process_id != 0 && !process_exists(announcement->process_id)) {
        report_left_over(file, announcement->process_id);
        return std::nullopt;
    }
    announcement->device.source = file.string();
    return announcement;
}

std::vector<Announcement> read_announcements() {
    std::vector<Announcement> result;
    const auto folder = announcement_folder();
    if (!folder) {
        return result;
    }
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(*folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (is_announcement_name(it->path().filename().string()) && it->is_regular_file(ec)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        if (auto announcement = read_announcement(file)) {
            result.push_back(std::move(*announcement));
        }
    }
    return result;
}

} // namespace platform
