#include "host/plugins/plugin_record.h"

#include <cstring>
#include <string_view>

namespace morlin {

bool PluginRecord::is_mobile_terminal_plugin() const {
    const std::string_view line(version_line, strnlen(version_line, sizeof version_line));
    return line.find("Mobile") != std::string_view::npos ||
           line.find("Pellax") != std::string_view::npos;
}

void PluginRecord::clear_devices() {
    std::memset(static_cast<void*>(devices.data()), 0, sizeof(DeviceInfoEntry) * devices.size());
    device_count = 0;
}

} // namespace morlin
