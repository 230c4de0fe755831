#pragma once
// The firmware family test: a Tamsel image carries the device type 0x20 in the byte six
// positions after the first "CAPAB" marker of the file.
#include <cstdint>
#include <optional>
#include <span>

namespace morlin {

inline constexpr std::uint8_t kTamselDeviceType = 0x20;

struct CapabilityScan {
    bool marker_found = false;
    std::optional<std::uint8_t> device_type; // none when the file ends before it
};

// Looks for the first "CAPAB" (case-sensitive) and the device type byte behind it.
CapabilityScan scan_capability_block(std::span<const std::uint8_t> image);

// 1 when the file is a Tamsel image, otherwise 0 (also on every failure, each logged).
[[nodiscard]] int IsTamsel(const char* file_name);

} // namespace morlin
