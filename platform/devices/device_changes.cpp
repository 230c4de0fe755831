#include "platform/devices/device_changes.h"

#include "platform/devices/device_set.h"

namespace platform {
namespace {

bool same_class(std::string_view a, std::string_view b) {
    return a.size() == b.size() && !CaseInsensitiveLess{}(a, b) && !CaseInsensitiveLess{}(b, a);
}

} // namespace

std::vector<DeviceEvent> device_changes(const DevicesByKey& known, const DevicesByKey& present,
                                        std::string_view interface_class) {
    const std::string event_class(interface_class);
    std::vector<DeviceEvent> events;
    for (const auto& [key, device] : known) {
        const auto now = present.find(key);
        if (now == present.end() || now->second.interface_path != device.interface_path) {
            events.emplace_back(DeviceEvent::Kind::Removal, device.interface_path, event_class);
        }
    }
    for (const auto& [key, device] : present) {
        const auto before = known.find(key);
        if (before == known.end() || before->second.interface_path != device.interface_path) {
            events.emplace_back(DeviceEvent::Kind::Arrival, device.interface_path, event_class,
                                device);
        }
    }
    return events;
}

bool watcher_concerns(std::string_view interface_class, const DeviceRecord& device) {
    return same_class(interface_class, kUsbDeviceInterface) ||
           same_class(interface_class, device.class_guid);
}

std::vector<std::string_view> notified_interface_classes(std::string_view watched_class) {
    if (same_class(watched_class, kPortsClass)) {
        return {kComPortInterface, kUsbDeviceInterface};
    }
    if (same_class(watched_class, kModemClass)) {
        return {kModemInterface, kUsbDeviceInterface};
    }
    return {watched_class};
}

} // namespace platform
