#pragma once
// What a device watcher tells its listener when it looks again at the devices present: the
// removals of devices that are gone (or came back as another device under the same key), then
// the arrivals of devices that are new. Each source of devices (announcement files, the
// machine's own ports) is kept by a key of its own (the file, the port); a device stays the
// same while its key and its interface path stay.
#include "platform/devices/device_watcher.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using DevicesByKey = std::map<std::string, DeviceRecord>;

// The notices, in order, that take a listener who knew `known` to `present`; `interface_class`
// is the class the events carry.
[[nodiscard]] std::vector<DeviceEvent> device_changes(const DevicesByKey& known,
                                                      const DevicesByKey& present,
                                                      std::string_view interface_class);

// Whether a watcher of `interface_class` hears of `device`: a watcher of the USB device
// interface hears of every device (all of them are USB devices), another one of the devices of
// its own class.
[[nodiscard]] bool watcher_concerns(std::string_view interface_class, const DeviceRecord& device);

inline constexpr std::string_view kComPortInterface = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}";
inline constexpr std::string_view kModemInterface = "{2C7089AA-2E0E-11D1-B114-00C04FC2AAE4}";

// The device interface classes to register for (RegisterDeviceNotification) to hear of the
// devices of `watched_class`. Windows sends no notice for a setup class (Ports, Modem): it
// notifies the interface classes that the devices of that class expose (COM port, modem),
// and the USB device interface of the device behind them. Another class is notified itself.
[[nodiscard]] std::vector<std::string_view>
notified_interface_classes(std::string_view watched_class);

} // namespace platform
