#pragma once
// Device arrival and removal notifications (WM_DEVICECHANGE with DBT_DEVICEARRIVAL and
// DBT_DEVICEREMOVECOMPLETE for a device interface class), carrying the interface path of the
// device in the form Windows gives it ("\\?\USB#Vid_04e6&Pid_1a02#...#{a5dcbf10-...}").
#include "platform/devices/device_set.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

struct DeviceEvent {
    enum class Kind { Arrival, Removal };
    DeviceEvent() = default;
    DeviceEvent(Kind what, std::string path, std::string guid, DeviceRecord record = {})
        : kind(what), interface_path(std::move(path)), class_guid(std::move(guid)),
          device(std::move(record)) {}

    Kind kind = Kind::Arrival;
    std::string interface_path;
    std::string class_guid;
    // What the device installer tells of the device that arrived (empty for a removal).
    DeviceRecord device;
};

// Whether start() first reports the devices already present, as arrivals.
enum class PresentDevices { Quiet, Report };

class DeviceWatcher {
  public:
    using Callback = std::function<void(const DeviceEvent&)>;
    // Starts watching the interface class (kUsbDeviceInterface for USB devices). The callback
    // runs on the watcher's own thread. Null, with the last error set, when watching cannot
    // start. Destroying the watcher stops it; no callback runs after the destructor returns.
    // With PresentDevices::Report the devices present when watching begins are reported as
    // arrivals on the caller's thread before start() returns, and every later notice follows
    // them: a caller can keep an exact set of present devices from the callback alone.
    [[nodiscard]] static std::unique_ptr<DeviceWatcher>
    start(std::string_view interface_class, Callback callback,
          PresentDevices present = PresentDevices::Quiet);
    virtual ~DeviceWatcher() = default;
};

} // namespace platform
