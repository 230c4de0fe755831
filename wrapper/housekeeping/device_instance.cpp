#include "wrapper/housekeeping/device_instance.h"

#include "platform/devices/device_set.h"
#include "platform/foundation/text_case.h"

#include <algorithm>
#include <string>

namespace valdrun {

bool find_device_instance(std::string_view hardware_id, bool remove, bool hidden_too) {
    const auto devices = platform::all_devices(hidden_too);
    if (!devices)
        return false;
    bool found = false;
    for (const platform::DeviceRecord& device : *devices) {
        const bool matches = std::any_of(
            device.hardware_ids.begin(), device.hardware_ids.end(),
            [&](const std::string& id) { return platform::equal_ignoring_case(id, hardware_id); });
        if (!matches)
            continue;
        found = !remove || platform::remove_device(device);
    }
    return found;
}

} // namespace valdrun
