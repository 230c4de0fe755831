#pragma once
// The machine's own USB serial ports as device records of the Ports class (libserialport on
// Linux). MORLIN_REAL_PORTS=none leaves them out (tests set it).
#include "platform/devices/device_set.h"

#include <optional>
#include <string_view>
#include <vector>

namespace platform {

bool real_ports_enabled();
// Every USB serial port, by port name. Empty when disabled or when the list cannot be made.
std::vector<DeviceRecord> usb_serial_ports();
// One port by its name ("ttyACM0"), when it is a USB serial port.
std::optional<DeviceRecord> usb_serial_port(std::string_view port_name);

// Whether the user allows real devices to be removed: MORLIN_REMOVE_REAL_DEVICES=yes. Without
// it, real devices are only ever looked for.
bool real_device_removal_allowed();
// Removes the USB device behind a port of usb_serial_ports() as if it had been unplugged (on
// Linux: "1" into the sysfs "remove" file of the USB device that carries the tty); it comes
// back when it is plugged in again. False with the last error when it cannot be removed.
[[nodiscard]] bool remove_usb_serial_device(const DeviceRecord& device);

// The record of a USB serial port with the given vendor, product and serial number (empty
// when the device has none; the port name stands in).
DeviceRecord usb_port_record(std::string_view port_name, int vid, int pid, std::string_view serial);

} // namespace platform
