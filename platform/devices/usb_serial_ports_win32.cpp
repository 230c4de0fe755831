// The machine's USB serial ports from the device installer (SetupAPI): present devices of
// the Ports class with the USB enumerator, in the device set's order, with their hardware IDs
// and their device key's values (PortName, SymbolicName). A device whose key or PortName
// cannot be read is listed all the same, without the values, so that a lister can say so.
#include "platform/devices/device_installer_win32.h"
#include "platform/devices/machine_devices.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/text_case.h"

#include <algorithm>

namespace platform {

// The Ports class's devices of the USB enumerator: the device installer's list of the class,
// without the ports of other buses.
std::vector<DeviceRecord> usb_serial_ports() {
    auto ports = machine_devices_of_class(kPortsClass).value_or(std::vector<DeviceRecord>{});
    std::erase_if(ports, [](const DeviceRecord& port) {
        return !equal_ignoring_case(std::string_view(port.instance_id).substr(0, 4), "USB\\");
    });
    return ports;
}

bool remove_usb_serial_device(const DeviceRecord& device) {
    return win32::remove_device_instance(device.instance_id);
}

std::optional<DeviceRecord> usb_serial_port(std::string_view port_name) {
    for (auto& port : usb_serial_ports()) {
        const auto name = port.key_value("PortName");
        if (name && equal_ignoring_case(*name, port_name)) {
            return std::move(port);
        }
    }
    return std::nullopt;
}

} // namespace platform
