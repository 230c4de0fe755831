#include "port_search.h"

#include "ascii_case.h"
#include "platform/devices/device_set.h"
#include "platform/processes/remote_session.h"

#include <cctype>
#include <cstring>

namespace brantel {
namespace {

// On Windows 9x the terminal shows up as a modem whose hardware ID names it. The property is
// read into a fixed 100-byte buffer: a device whose property does not fit is skipped; the mark
// is looked for in the text up to the buffer's first zero (the first hardware ID).
bool carries_windows9x_mark(const platform::DeviceRecord& device) {
    const std::string property = device.hardware_id_multi_string();
    if (property.empty() || property.size() > kHardwareIdBufferSize) {
        return false;
    }
    const std::string_view first_id(property.c_str());
    return first_id.find(kWindows9xTerminalMark) != std::string_view::npos;
}

// The device key's PortName as an 8-byte buffer holds it: up to 7 characters.
std::optional<std::string> usable_port_name(const platform::DeviceRecord& device) {
    auto name = device.key_value("PortName");
    if (!name || name->size() + 1 > kPortNameBufferSize) {
        return std::nullopt;
    }
    if (std::memchr(name->data(), '\0', name->size()) != nullptr) {
        return std::nullopt;
    }
    return name;
}

// Outside Windows 9x the terminal is a device of the USB enumerator with its vendor and product.
bool has_terminal_instance_id(const platform::DeviceRecord& device) {
    const std::string_view id = device.instance_id;
    return id.size() >= kTerminalEnumerator.size() &&
           equal_ignoring_case(id.substr(0, kTerminalEnumerator.size()), kTerminalEnumerator);
}

} // namespace

std::string_view terminal_device_class(OsFamily family) {
    return family == OsFamily::Windows9x ? platform::kModemClass : platform::kPortsClass;
}

std::string port_path_of(std::string_view port_name) {
    std::string path = "\\\\.\\";
    path.append(port_name);
    if (path.size() + 1 > kPortPathBufferSize) {
        path.resize(kPortPathBufferSize - 1);
    }
    return path;
}

std::string com_port_path(unsigned number) {
    return port_path_of("COM" + std::to_string(number));
}

std::optional<std::string> terminal_port_path(OsFamily family,
                                              const platform::DeviceRecord& device) {
    const bool windows9x = family == OsFamily::Windows9x;
    if (!equal_ignoring_case(device.class_guid, terminal_device_class(family))) {
        return std::nullopt;
    }
    if (windows9x ? !carries_windows9x_mark(device) : !has_terminal_instance_id(device)) {
        return std::nullopt;
    }
    const auto name = usable_port_name(device);
    if (!name) {
        return std::nullopt;
    }
    return port_path_of(*name);
}

std::optional<std::vector<std::string>> present_terminal_port_paths(OsFamily family) {
    const bool windows9x = family == OsFamily::Windows9x;
    const auto devices = platform::present_devices(terminal_device_class(family),
                                                   windows9x ? "" : kTerminalEnumerator);
    if (!devices) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const auto& device : *devices) {
        if (auto path = terminal_port_path(family, device)) {
            paths.push_back(std::move(*path));
        }
    }
    return paths;
}

bool running_in_remote_session() {
    return platform::running_in_remote_session();
}

bool terminal_port_present(OsFamily family, std::string_view port_path) {
    if (running_in_remote_session()) {
        return true;
    }
    const auto paths = present_terminal_port_paths(family);
    if (!paths) {
        return false;
    }
    for (const auto& path : *paths) {
        if (equal_ignoring_case(path, port_path)) {
            return true;
        }
    }
    return false;
}

} // namespace brantel
