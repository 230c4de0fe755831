// The machine's USB serial ports from libserialport; their removal through sysfs.
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <libserialport.h>
#include <string>

namespace platform {
namespace {

std::optional<DeviceRecord> record_of(const sp_port* port) {
    if (sp_get_port_transport(port) != SP_TRANSPORT_USB) {
        return std::nullopt;
    }
    int vid = 0;
    int pid = 0;
    if (sp_get_port_usb_vid_pid(port, &vid, &pid) != SP_OK) {
        return std::nullopt;
    }
    std::string name = sp_get_port_name(port);
    if (name.starts_with("/dev/")) {
        name.erase(0, 5);
    }
    const char* serial = sp_get_port_usb_serial(port);
    return usb_port_record(name, vid, pid, serial != nullptr ? serial : "");
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
    if (!real_ports_enabled()) {
        return result;
    }
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK || ports == nullptr) {
        return result;
    }
    for (sp_port** it = ports; *it != nullptr; ++it) {
        if (auto record = record_of(*it)) {
            result.push_back(std::move(*record));
        }
    }
    sp_free_port_list(ports);
    std::sort(result.begin(), result.end(), [](const DeviceRecord& a, const DeviceRecord& b) {
        return a.port_address < b.port_address;
    });
    return result;
}

std::optional<DeviceRecord> usb_serial_port(std::string_view port_name) {
    if (!real_ports_enabled()) {
        return std::nullopt;
    }
    sp_port* port = nullptr;
    const std::string path = "/dev/" + std::string(port_name);
    if (sp_get_port_by_name(path.c_str(), &port) != SP_OK || port == nullptr) {
        return std::nullopt;
    }
    auto record = record_of(port);
    sp_free_port(port);
    return record;
}

} // namespace platform
