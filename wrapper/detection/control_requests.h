#pragma once
// The two control requests that both reader routes send, and how their replies are read.
#include <array>
#include <cstdint>
#include <span>

namespace valdrun {

// Device type 0x22, function 0x602, buffered, any access.
inline constexpr std::uint32_t kDescriptorRequestCode = 0x221808;
// The smart-card class control code with function 2049 as the reader driver's own I/O control
// (the device-interface route). Over PC/SC the smart-card service's form of it is used
// (smart_card.h).
inline constexpr std::uint32_t kDeviceVersionRequestCode = 0x312004;

inline constexpr std::size_t kDescriptorSize = 18;
inline constexpr std::size_t kVersionReplySize = 12;
// Where the version reply carries the firmware's major and minor number (binary).
inline constexpr std::size_t kFirmwareMajorByte = 6;
inline constexpr std::size_t kFirmwareMinorByte = 7;

// 12 01 01 00 followed by 14 zero bytes.
inline constexpr std::array<std::uint8_t, kDescriptorSize> kDescriptorRequest = {0x12, 0x01, 0x01,
                                                                                 0x00};

struct UsbIdentifiers {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
};

// The reply laid out as a USB device descriptor, taken into a zero-filled buffer of 18 bytes
// (a short reply leaves zeros): vendor at offset 8, product at offset 10, little-endian.
UsbIdentifiers identifiers_from_descriptor(std::span<const std::uint8_t> reply);
// The version reply, taken into a cleared buffer of 12 bytes (firmware major at 6, minor 7).
std::array<std::uint8_t, kVersionReplySize> version_reply_from(std::span<const std::uint8_t> reply);

} // namespace valdrun
