// Lookup in a resource image: the same on every platform that carries resources this way.
#include "platform/foundation/last_error.h"
#include "platform/winapi/resource.h"

#include <cstring>

namespace platform {
namespace {

std::uint16_t u16_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(u16_at(bytes, offset)) |
           (static_cast<std::uint32_t>(u16_at(bytes, offset + 2)) << 16);
}

} // namespace

std::optional<std::span<const std::uint8_t>>
find_resource_in_image(std::span<const std::uint8_t> image, std::uint16_t type, std::uint16_t id,
                       std::uint16_t language) {
    using namespace resource_image;
    if (image.size() < kHeaderSize || std::memcmp(image.data(), kMagic, sizeof kMagic) != 0 ||
        u16_at(image, 4) != kFormatVersion) {
        set_last_error(kErrorInvalidData);
        return std::nullopt;
    }
    // The image may claim less than the object holds, never more.
    std::uint32_t claimed = u32_at(image, 8);
    if (claimed < kHeaderSize || claimed > image.size()) {
        set_last_error(kErrorInvalidData);
        return std::nullopt;
    }
    image = image.first(claimed);
    std::size_t count = u16_at(image, 6);
    if (count > (image.size() - kHeaderSize) / kEntrySize) {
        set_last_error(kErrorInvalidData);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = kHeaderSize + i * kEntrySize;
        if (u16_at(image, entry) != type || u16_at(image, entry + 2) != id ||
            u16_at(image, entry + 4) != language) {
            continue;
        }
        std::uint32_t offset = u32_at(image, entry + 8);
        std::uint32_t length = u32_at(image, entry + 12);
        if (offset > image.size() || length > image.size() - offset) {
            set_last_error(kErrorInvalidData);
            return std::nullopt;
        }
        return image.subspan(offset, length);
    }
    set_last_error(1814); // ERROR_RESOURCE_NAME_NOT_FOUND
    return std::nullopt;
}

} // namespace platform
