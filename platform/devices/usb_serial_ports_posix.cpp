// The machine's USB serial ports from udev (sd-device): every tty below a USB device, after
// udev has applied its rules to it; their removal through sysfs.
#include "platform/devices/usb_serial_ports.h"
#include "platform/devices/usb_serial_ports_udev.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

struct DeviceUnref {
    void operator()(sd_device* device) const { sd_device_unref(device); }
};
struct EnumeratorUnref {
    void operator()(sd_device_enumerator* enumerator) const {
        sd_device_enumerator_unref(enumerator);
    }
};

std::optional<int> hex_attribute(sd_device* device, const char* name) {
    const char* value = nullptr;
    if (sd_device_get_sysattr_value(device, name, &value) < 0 || value == nullptr) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long number = std::strtol(value, &end, 16);
    if (end == value || number < 0 || number > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

// The group that may open a node, by name ("dialout"), or its number.
std::string group_of(const struct stat& node) {
    if (const group* entry = ::getgrgid(node.st_gid)) {
        return entry->gr_name;
    }
    return std::to_string(node.st_gid);
}

// A port that this user cannot open is still listed; the reason and the fix are told once per
// port and process, so that a caller that lists every 250 ms does not repeat it.
void tell_access_problem(const std::string& node) {
    const auto problem = port_access_problem(node);
    if (!problem) {
        return;
    }
    static std::mutex mutex;
    static std::set<std::string> told;
    const std::lock_guard lock(mutex);
    if (told.insert(node).second) {
        std::fprintf(stderr, "morlin: %s\n", problem->c_str());
    }
}

// The sysfs folder of the USB device that carries a tty: the nearest folder above the tty's
// device that names a vendor (the interface and the usb-serial port below it do not).
std::optional<std::filesystem::path> usb_device_folder(std::string_view port_name) {
    std::error_code ec;
    auto folder = std::filesystem::canonical(
        std::filesystem::path("/sys/class/tty") / std::string(port_name) / "device", ec);
    if (ec) {
        return std::nullopt;
    }
    for (; folder.has_relative_path() && folder != "/sys/devices"; folder = folder.parent_path()) {
        if (std::filesystem::exists(folder / "idVendor", ec) &&
            std::filesystem::exists(folder / "remove", ec)) {
            return folder;
        }
    }
    return std::nullopt;
}

} // namespace

bool udev_running() {
    return ::access("/run/udev/control", F_OK) == 0;
}

std::optional<std::string> port_access_problem(const std::string& node) {
    if (::access(node.c_str(), R_OK | W_OK) == 0 || (errno != EACCES && errno != EPERM)) {
        return std::nullopt;
    }
    struct stat status {};
    const std::string group = ::stat(node.c_str(), &status) == 0 ? group_of(status) : "dialout";
    return node +
           " is there but this user may not open it (permission denied): install the "
           "udev rules 70-morlin.rules (docs/devices.md), which give the user at the "
           "seat access, or add the user to the group " +
           group + " and log in again";
}

std::optional<DeviceRecord> usb_serial_record(sd_device* tty) {
    sd_device* usb = nullptr;
    if (sd_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device", &usb) < 0) {
        return std::nullopt;
    }
    const char* port_name = nullptr;
    const auto vid = hex_attribute(usb, "idVendor");
    const auto pid = hex_attribute(usb, "idProduct");
    if (sd_device_get_sysname(tty, &port_name) < 0 || !vid || !pid) {
        return std::nullopt;
    }
    const char* serial = nullptr;
    if (sd_device_get_sysattr_value(usb, "serial", &serial) < 0) {
        serial = nullptr;
    }
    DeviceRecord record = usb_port_record(port_name, *vid, *pid, serial != nullptr ? serial : "");
    const char* node = nullptr;
    if (sd_device_get_devname(tty, &node) >= 0 && node != nullptr) {
        record.port_address = node;
        record.source = node;
    }
    tell_access_problem(record.port_address);
    return record;
}

bool remove_usb_serial_device(const DeviceRecord& device) {
    constexpr std::string_view kDevices = "/dev/";
    const std::string_view address = device.port_address;
    const auto folder = address.starts_with(kDevices)
                            ? usb_device_folder(address.substr(kDevices.size()))
                            : std::nullopt;
    if (!folder) {
        set_last_error(kErrorNotSupported);
        return false;
    }
    std::ofstream remove(*folder / "remove");
    remove << "1" << std::flush;
    if (!remove) {
        set_last_error(kErrorAccessDenied);
        return false;
    }
    set_last_error(kErrorSuccess);
    return true;
}

std::vector<DeviceRecord> usb_serial_ports() {
    std::vector<DeviceRecord> result;
    sd_device_enumerator* raw = nullptr;
    if (!real_ports_enabled() || sd_device_enumerator_new(&raw) < 0) {
        return result;
    }
    const std::unique_ptr<sd_device_enumerator, EnumeratorUnref> enumerator(raw);
    if (!udev_running()) {
        sd_device_enumerator_allow_uninitialized(raw); // no rules will run: take them as they are
    }
    if (sd_device_enumerator_add_match_subsystem(raw, "tty", 1) < 0) {
        return result;
    }
    for (sd_device* tty = sd_device_enumerator_get_device_first(raw); tty != nullptr;
         tty = sd_device_enumerator_get_device_next(raw)) {
        if (auto record = usb_serial_record(tty)) {
            result.push_back(std::move(*record));
        }
    }
    std::sort(result.begin(), result.end(), [](const DeviceRecord& a, const DeviceRecord& b) {
        return a.port_address < b.port_address;
    });
    return result;
}

std::optional<DeviceRecord> usb_serial_port(std::string_view port_name) {
    sd_device* raw = nullptr;
    if (!real_ports_enabled() ||
        sd_device_new_from_subsystem_sysname(&raw, "tty", std::string(port_name).c_str()) < 0) {
        return std::nullopt;
    }
    const std::unique_ptr<sd_device, DeviceUnref> tty(raw);
    if (udev_running() && sd_device_get_is_initialized(raw) <= 0) {
        return std::nullopt; // udev has not applied its rules yet: its arrival comes later
    }
    return usb_serial_record(raw);
}

} // namespace platform
