#pragma once
// The terminal ports that are present, kept from the device watcher's notices while the
// device monitor runs: filled once when watching begins, then changed by every arrival and
// removal. A presence check is then one look-up, whatever the number of devices on the
// machine; while nobody keeps the set, the check lists the devices afresh.
//
// Threads: the watcher's thread changes the set, the caller's thread looks things up.
#include "os_family.h"
#include "platform/devices/device_watcher.h"

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace brantel {

class PresentPorts {
  public:
    // Begins keeping the set (empty until the first notices).
    void begin(OsFamily family);
    // Stops keeping it; presence checks list the devices again.
    void end();
    // Takes one notice of the watcher into the set.
    void apply(const platform::DeviceEvent& event);

    // Presence check of `port_path` (ignoring case): from the set while it is kept, else from
    // a fresh listing of the devices of `family`.
    [[nodiscard]] bool contains(OsFamily family, std::string_view port_path) const;

  private:
    mutable std::mutex mutex_;
    bool kept_ = false;
    OsFamily family_ = OsFamily::Windows2000Up; // of the devices in the set
    // Interface path of each present terminal device, and the port path (lower case) it has.
    std::unordered_map<std::string, std::string> port_of_device_;
    std::unordered_map<std::string, int> devices_on_port_;
};

} // namespace brantel
