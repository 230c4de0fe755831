// Device lists: the machine's own devices and the announced simulated devices.
#include "platform/devices/device_set.h"

#include "platform/devices/announcement.h"
#include "platform/devices/machine_devices.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace platform {
namespace {

int lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_ignoring_case(a, b);
}

} // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

std::optional<std::string> normalized_guid(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    std::string guid(text);
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash_place = i == 9 || i == 14 || i == 19 || i == 24;
        const auto c = static_cast<unsigned char>(guid[i]);
        if (dash_place ? c != '-' : !std::isxdigit(c)) {
            return std::nullopt;
        }
        guid[i] = static_cast<char>(std::toupper(c));
    }
    return guid;
}

std::string DeviceRecord::hardware_id_multi_string() const {
    std::string bytes;
    for (const auto& id : hardware_ids) {
        bytes += id;
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

std::optional<std::string> DeviceRecord::key_value(std::string_view name) const {
    const auto it = device_key.find(name);
    if (it == device_key.end()) {
        return std::nullopt;
    }
    return it->second;
}

namespace {

// A record of the machine's devices (a real port or an instance of the device installer), not
// an announcement.
bool is_machine_device(const DeviceRecord& device) {
    return device.source == device.port_address || device.source == device.instance_id;
}

template <typename Wanted>
std::optional<std::vector<DeviceRecord>>
devices_where(std::optional<std::vector<DeviceRecord>> machine, const Wanted& wanted) {
    if (!machine) {
        return std::nullopt; // the last error says why
    }
    std::vector<DeviceRecord> result;
    for (auto& device : *machine) {
        if (wanted(device)) {
            result.push_back(std::move(device));
        }
    }
    for (auto& announcement : read_announcements()) {
        if (wanted(announcement.device)) {
            result.push_back(std::move(announcement.device));
        }
    }
    set_last_error(kErrorSuccess);
    return result;
}

} // namespace

std::optional<std::vector<DeviceRecord>> present_devices(std::string_view class_guid,
                                                         std::string_view enumerator) {
    if (!normalized_guid(class_guid)) {
        set_last_error(kErrorInvalidParameter);
        return std::nullopt;
    }
    return devices_where(machine_devices_of_class(class_guid), [&](const DeviceRecord& device) {
        return same_ignoring_case(device.class_guid, class_guid) &&
               starts_with_ignoring_case(device.instance_id, enumerator);
    });
}

std::optional<std::vector<DeviceRecord>> all_devices(bool hidden_too) {
    return devices_where(machine_devices_of_all_classes(hidden_too),
                         [](const DeviceRecord&) { return true; });
}

bool remove_device(const DeviceRecord& device) {
    const auto folder = announcement_folder();
    const std::filesystem::path file(device.source);
    std::error_code ec;
    if (!folder || !is_announcement_name(file.filename().string()) ||
        !std::filesystem::equivalent(file.parent_path(), *folder, ec)) {
        if (real_device_removal_allowed() && is_machine_device(device)) {
            return remove_machine_device(device);
        }
        set_last_error(kErrorNotSupported);
        return false;
    }
    if (!std::filesystem::remove(file, ec)) {
        set_last_error(ec ? error_from_errno(ec.value()) : kErrorFileNotFound);
        return false;
    }
    set_last_error(kErrorSuccess);
    return true;
}

} // namespace platform
