#pragma once
// The machine's USB serial ports as udev sees them (sd-device): shared by the device list and
// the device watcher on Linux.
#include "platform/devices/device_set.h"

#include <optional>
#include <string>
#include <systemd/sd-device.h>

namespace platform {

// Whether udev runs on this machine. Without it (a container, an early boot) devices carry no
// udev data and are taken as they are; with it, a device counts only once its rules have run.
bool udev_running();

// The record of a tty device that sits below a USB device, with the USB device's vendor,
// product and serial number; nothing for any other tty.
std::optional<DeviceRecord> usb_serial_record(sd_device* tty);

// What keeps this user from opening a device node, with the fix ("permission denied: ... install
// the udev rules ... or join the group dialout"); nothing when the node can be opened for
// reading and writing (or is not there).
std::optional<std::string> port_access_problem(const std::string& node);

} // namespace platform
