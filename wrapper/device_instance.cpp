#include "wrapper/device_instance.h"

#include "platform/device_set.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace valdrun {
namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

} // namespace

bool find_device_instance(std::string_view hardware_id, bool remove, bool /*hidden_too*/) {
    const auto devices = platform::all_devices();
    if (!devices)
        return false;
    const std::string wanted = upper(hardware_id);
    bool found = false;
    for (const platform::DeviceRecord& device : *devices) {
        const bool matches =
            std::any_of(device.hardware_ids.begin(), device.hardware_ids.end(),
                        [&](const std::string& id) { return upper(id) == wanted; });
        if (!matches)
            continue;
        found = !remove || platform::remove_device(device);
    }
    return found;
}

} // namespace valdrun
