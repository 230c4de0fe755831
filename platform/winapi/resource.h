#pragma once
// Resources of a loaded library by type, number and language (FindResourceEx, LoadResource),
// as the resource library MORLNRES carries its string tables.
//
// On Linux a library carries its resources as one exported data object,
// `morlin_resource_image`: a directory of (type, id, language, offset, length) entries
// followed by the resources' bytes. The layout is documented in docs/resources.md. The image
// comes from a file on disk and is treated as untrusted: every offset is checked.
#include "platform/winapi/library.h"

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// Resource types, numbered as Windows numbers them.
enum : std::uint16_t {
    kResourceTypeString = 6, // RT_STRING: blocks of 16 counted UTF-16 strings
};

// Name of the exported data object that holds a library's resource image.
inline constexpr const char* kResourceImageSymbol = "morlin_resource_image";

// The bytes of the resource (type, id, language) of `library`, valid while the library stays
// loaded; nothing when the library has no resources or not this one (no fall-back to another
// language).
[[nodiscard]] std::optional<std::span<const std::uint8_t>>
find_resource(const Library& library, std::uint16_t type, std::uint16_t id, std::uint16_t language);

// The same lookup in a resource image given as bytes (exposed for tests and the fuzz target).
std::optional<std::span<const std::uint8_t>>
find_resource_in_image(std::span<const std::uint8_t> image, std::uint16_t type, std::uint16_t id,
                       std::uint16_t language);

// Layout of a resource image; all numbers little endian.
namespace resource_image {
inline constexpr std::uint8_t kMagic[4] = {'M', 'R', 'E', 'S'};
inline constexpr std::uint16_t kFormatVersion = 1;
// Header: magic[4], u16 format version, u16 entry count, u32 image size, u32 reserved.
inline constexpr std::size_t kHeaderSize = 16;
// Entry: u16 type, u16 id, u16 language, u16 reserved, u32 offset, u32 length.
inline constexpr std::size_t kEntrySize = 16;
} // namespace resource_image

} // namespace platform
