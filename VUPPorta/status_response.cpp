#include "status_response.h"

#include "version_text.h"

#include <algorithm>
#include <cstring>

namespace vupporta {

StatusResponse::StatusResponse(std::span<const std::uint8_t> information)
    : length_(std::min(information.size(), kCapacity)) {
    std::copy_n(information.begin(), length_, bytes_.begin());
}

bool StatusResponse::status_ok() const {
    return length_ >= 2 && bytes_[length_ - 2] == 0x90 && bytes_[length_ - 1] == 0x00;
}

unsigned StatusResponse::stored_records() const {
    return static_cast<unsigned>(byte(23)) << 8 | byte(24);
}

std::string StatusResponse::text_at(std::size_t offset, std::size_t count) const {
    // A C text: it ends at the first zero byte inside the field.
    const char* start = reinterpret_cast<const char*>(bytes_.data() + offset);
    return std::string(start, strnlen(start, count));
}

std::string StatusResponse::application_version() const {
    if (application_version_binary()) {
        return application_version_text(byte(13), byte(14));
    }
    return text_at(12, 5);
}

std::string StatusResponse::firmware_version() const {
    if (firmware_version_binary()) {
        return firmware_version_text(byte(18), byte(19), byte(20));
    }
    return text_at(17, 5);
}

std::string StatusResponse::identification() const {
    constexpr std::size_t kStart = 47;
    constexpr std::size_t kSize = 14;
    std::size_t first = kStart;
    while (first < kStart + kSize && bytes_[first] == 0) {
        ++first;
    }
    return text_at(first, kStart + kSize - first);
}

} // namespace vupporta
