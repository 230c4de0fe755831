// Values of keys below HKEY_LOCAL_MACHINE that simulated devices carry beside their device
// key, falling back to the registry stand-in.
#include "platform/devices/announcement.h"
#include "platform/devices/device_set.h"
#include "platform/winapi/registry.h"

namespace platform {

std::optional<std::string> machine_key_value(std::string_view key, std::string_view name) {
    for (const auto& announcement : read_announcements()) {
        const auto section = announcement.machine_keys.find(key);
        if (section == announcement.machine_keys.end()) {
            continue;
        }
        const auto value = section->second.find(name);
        if (value != section->second.end()) {
            return value->second;
        }
    }
    return registry_read_string(key, name);
}

} // namespace platform
