#pragma once
// The record of a device as the device installer lists it (SetupAPI on Windows), a serial
// port first of all: the same on every platform, so that what a listing makes of a device is
// tested everywhere.
#include "platform/devices/device_set.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

using DeviceKeyValues = decltype(DeviceRecord::device_key);

// A device of the Ports class (or of `class_guid`, such as the Modem class): its instance
// ID, hardware IDs and device-key values (nothing when the key could not be opened; the
// record then has no values, and whoever lists it says so). Its port is "\\.\" and the
// PortName; its interface path is the SymbolicName's (written "\\?\" as notices carry it),
// else the USB device interface path that Windows makes from the instance ID.
[[nodiscard]] DeviceRecord listed_port_record(std::string instance_id,
                                              std::vector<std::string> hardware_ids,
                                              std::optional<DeviceKeyValues> device_key,
                                              std::string class_guid = std::string(kPortsClass));

} // namespace platform
