#pragma once
// The machine's own devices, as the device installer knows them, one source per platform:
// on Windows the device installer itself (SetupAPI, any setup class or device interface
// class), on Linux the USB serial ports of udev (the Ports class; usb_serial_ports.h). The
// device lists (device_set.h) add the announced simulated devices to them. MORLIN_REAL_PORTS=
// none leaves the machine's devices out (tests set it): the lists below are then empty.
#include "platform/devices/device_set.h"

#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// The present devices of the setup class `class_guid` and the present interfaces of the
// device interface class `class_guid` ("{...}" in braces, any letter case), in the device
// installer's order. A device of an interface class carries the interface class as its class
// and the interface's device path. Nothing, with the last error set, when the device
// installer cannot make the list.
[[nodiscard]] std::optional<std::vector<DeviceRecord>>
machine_devices_of_class(std::string_view class_guid);

// Every device of every class with its instance ID, class and hardware IDs (not its device
// key's values); absent devices too when `hidden_too`. A device without hardware IDs is left
// out; a device whose hardware IDs cannot be read otherwise ends the list there (the devices
// before it are the answer). Nothing, with the last error set, when no list can be made.
[[nodiscard]] std::optional<std::vector<DeviceRecord>>
machine_devices_of_all_classes(bool hidden_too);

// Removes a device of these lists as the device manager's "Uninstall" does (Windows:
// SetupDiCallClassInstaller(DIF_REMOVE) by its instance ID; Linux: remove_usb_serial_device).
// It is never asked whether the user allows it: remove_device() does that. False with the
// last error set when it cannot be removed.
[[nodiscard]] bool remove_machine_device(const DeviceRecord& device);

} // namespace platform
