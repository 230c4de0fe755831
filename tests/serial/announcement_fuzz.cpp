// Arbitrary text as a device announcement: parsed with bounds, never a crash.
#include "platform/devices/announcement.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto parsed = platform::parse_announcement(text, error)) {
        if (parsed->device.hardware_ids.size() > platform::kMaxHardwareIds ||
            parsed->device.class_guid.size() != 38) {
            __builtin_trap();
        }
        (void)parsed->device.hardware_id_multi_string();
        (void)parsed->device.key_value("PortName");
    }
    return 0;
}
