#pragma once
// The binary layouts that the plug-in reads and writes, each named once: the terminal's status
// response, the fields of a firmware file, and the blocks of the download. Everything outside
// these fields belongs to the terminal's firmware.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vupporta {

// The information field of the answer to the manufacturer status query, by offset.
namespace status_layout {
inline constexpr std::size_t kCapacity = 256; // LEN is one byte: at most 255 bytes and a check
inline constexpr std::uint8_t kBinaryMarker = 'h';
inline constexpr std::size_t kVersionTextSize = 5; // a version without its marker: 5 characters
// Application version: marker, then major and minor in binary (or 5 characters of text from
// the marker on).
inline constexpr std::size_t kApplicationMarker = 12;
inline constexpr std::size_t kApplicationMajor = 13;
inline constexpr std::size_t kApplicationMinor = 14;
// Firmware version: marker, then three parts in binary (or 5 characters of text).
inline constexpr std::size_t kFirmwareMarker = 17;
inline constexpr std::size_t kFirmwareMajor = 18;
inline constexpr std::size_t kFirmwareMinor = 19;
inline constexpr std::size_t kFirmwareBuild = 20;
inline constexpr std::size_t kStoredRecordsHigh = 23; // 16 bits, big-endian
inline constexpr std::size_t kStoredRecordsLow = 24;
inline constexpr std::size_t kDownloadState = 25;
inline constexpr std::size_t kReadiness = 46; // 1 = ready for a download
inline constexpr std::uint8_t kReady = 1;
inline constexpr std::size_t kIdentification = 47;
inline constexpr std::size_t kIdentificationSize = 14;
inline constexpr std::size_t kStatusWordSize = 2; // the last two bytes: 90 00 = success

static_assert(kApplicationMarker + kVersionTextSize == kFirmwareMarker);
static_assert(kFirmwareBuild < kFirmwareMarker + kVersionTextSize);
static_assert(kFirmwareMarker + kVersionTextSize <= kStoredRecordsHigh);
static_assert(kStoredRecordsLow == kStoredRecordsHigh + 1);
static_assert(kIdentification == kReadiness + 1);
static_assert(kIdentification + kIdentificationSize <= kCapacity);
} // namespace status_layout

// The fields of a firmware file, by offset from its start.
namespace image_layout {
inline constexpr std::size_t kProductTag = 116; // firmware images: "QVX", "HALVANE" or "Pellax"
inline constexpr std::size_t kProductTagSize = 7;
inline constexpr std::size_t kVersion = 132; // major, minor, and the build of a firmware image
inline constexpr std::size_t kVersionParts = 3;
inline constexpr std::size_t kImageType = 136;             // '0' firmware, '1' application
inline constexpr std::size_t kHeaderSize = kImageType + 1; // a shorter file has no type byte
inline constexpr std::uint8_t kFirmwareType = '0';
inline constexpr std::uint8_t kApplicationType = '1';
// Application images: the product configuration marker anywhere in the file, followed by
// 0x00 and the product byte.
inline constexpr std::string_view kProductConfiguration = "PRODCFG";
inline constexpr std::size_t kProductConfigurationSize = kProductConfiguration.size() + 2;
inline constexpr std::uint8_t kHalvaneConfiguration = 0x00;
inline constexpr std::uint8_t kPellaxConfiguration = 0x01;

static_assert(kProductTag + kProductTagSize <= kVersion);
static_assert(kVersion + kVersionParts < kImageType);
} // namespace image_layout

// The blocks of the download, by position: each one's size and how long the terminal may
// take to acknowledge it.
namespace transfer_layout {
inline constexpr std::size_t kFixedBlocks = 2; // the first two blocks of every image
inline constexpr std::size_t kFixedBlockSize = 256;
inline constexpr std::uint32_t kFixedBlockLimitMs = 1000;
inline constexpr std::size_t kFirmwareThirdBlockSize = 261; // firmware images only
inline constexpr std::uint32_t kFirmwareThirdBlockLimitMs = 30000;
inline constexpr std::size_t kMaxBlockSize = 65536; // every later block: the rest, up to this
inline constexpr std::uint32_t kRestBlockLimitMs = 10000;
// The final acknowledgement of the whole image.
inline constexpr std::uint32_t kFirmwareFinalLimitMs = 40000;
inline constexpr std::uint32_t kApplicationFinalLimitMs = 60000;
// The bytes the fixed-size first blocks need: a shorter image cannot be sent whole.
inline constexpr std::size_t kFirmwareMinimumSize =
    kFixedBlocks * kFixedBlockSize + kFirmwareThirdBlockSize;
inline constexpr std::size_t kApplicationMinimumSize = kFixedBlocks * kFixedBlockSize;

static_assert(kFirmwareMinimumSize == 773);
static_assert(kApplicationMinimumSize == 512);
static_assert(kFirmwareMinimumSize >= image_layout::kHeaderSize);
} // namespace transfer_layout

} // namespace vupporta
