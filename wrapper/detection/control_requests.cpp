#include "wrapper/detection/control_requests.h"

#include <algorithm>

namespace valdrun {

UsbIdentifiers identifiers_from_descriptor(std::span<const std::uint8_t> reply) {
    std::array<std::uint8_t, kDescriptorSize> bytes{};
    std::copy_n(reply.begin(), std::min(reply.size(), bytes.size()), bytes.begin());
    return {static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8),
            static_cast<std::uint16_t>(bytes[10] | bytes[11] << 8)};
}

std::array<std::uint8_t, kVersionReplySize>
version_reply_from(std::span<const std::uint8_t> reply) {
    std::array<std::uint8_t, kVersionReplySize> bytes{};
    std::copy_n(reply.begin(), std::min(reply.size(), bytes.size()), bytes.begin());
    return bytes;
}

} // namespace valdrun
