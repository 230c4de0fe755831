#pragma once
// Device arrival and removal notifications (WM_DEVICECHANGE with DBT_DEVICEARRIVAL and
// DBT_DEVICEREMOVECOMPLETE for a device interface class), carrying the interface path of the
// device in the form Windows gives it ("\\?\USB#Vid_04e6&Pid_1a02#...#{a5dcbf10-...}").
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

struct DeviceEvent {
    enum class Kind { Arrival, Removal } kind = Kind::Arrival;
    std::string interface_path;
    std::string class_guid;
};

class DeviceWatcher {
  public:
    using Callback = std::function<void(const DeviceEvent&)>;
    // Starts watching the interface class (kUsbDeviceInterface for USB devices). The callback
    // runs on the watcher's own thread. Null, with the last error set, when watching cannot
    // start. Destroying the watcher stops it; no callback runs after the destructor returns.
    [[nodiscard]] static std::unique_ptr<DeviceWatcher> start(std::string_view interface_class,
                                                              Callback callback);
    virtual ~DeviceWatcher() = default;
};

} // namespace platform
