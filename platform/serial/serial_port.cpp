// SerialPort::open: from a port name to the backend that reaches it.
#include "platform/devices/announcement.h"
#include "platform/foundation/last_error.h"
#include "platform/serial/serial_port_backends.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

constexpr std::string_view kRfc2217Scheme = "rfc2217://";

} // namespace

std::string resolve_port_name(std::string_view name) {
    if (name.starts_with("\\\\.\\")) {
        name.remove_prefix(4);
    }
    if (starts_with_ignoring_case(name, kRfc2217Scheme) || name.starts_with('/')) {
        return std::string(name);
    }
    for (const auto& announcement : read_announcements()) {
        const auto port_name = announcement.device.key_value("PortName");
        if (port_name && port_name->size() == name.size() &&
            starts_with_ignoring_case(*port_name, name) &&
            !announcement.device.port_address.empty()) {
            return announcement.device.port_address;
        }
    }
    return "/dev/" + std::string(name);
}

std::unique_ptr<SerialPort> SerialPort::open(std::string_view name) {
    if (name.empty()) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    const std::string target = resolve_port_name(name);
    if (starts_with_ignoring_case(target, kRfc2217Scheme)) {
        return open_rfc2217_port(target);
    }
    return open_native_port(target);
}

} // namespace platform
