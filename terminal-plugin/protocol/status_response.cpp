#include "status_response.h"

#include "terminal-plugin/listing/version_text.h"

#include <algorithm>
#include <cstring>

namespace vupporta {

using namespace status_layout;

StatusResponse::StatusResponse(std::span<const std::uint8_t> information)
    : length_(std::min(information.size(), kCapacity)) {
    std::copy_n(information.begin(), length_, bytes_.begin());
}

bool StatusResponse::status_ok() const {
    return length_ >= kStatusWordSize && bytes_[length_ - 2] == 0x90 && bytes_[length_ - 1] == 0x00;
}

unsigned StatusResponse::stored_records() const {
    return static_cast<unsigned>(byte(kStoredRecordsHigh)) << 8 | byte(kStoredRecordsLow);
}

std::string StatusResponse::text_at(std::size_t offset, std::size_t count) const {
    // A C text: it ends at the first zero byte inside the field.
    const char* start = reinterpret_cast<const char*>(bytes_.data() + offset);
    return std::string(start, strnlen(start, count));
}

std::string StatusResponse::application_version() const {
    if (application_version_binary()) {
        return application_version_text(byte(kApplicationMajor), byte(kApplicationMinor));
    }
    return text_at(kApplicationMarker, kVersionTextSize);
}

std::string StatusResponse::firmware_version() const {
    if (firmware_version_binary()) {
        return firmware_version_text(byte(kFirmwareMajor), byte(kFirmwareMinor),
                                     byte(kFirmwareBuild));
    }
    return text_at(kFirmwareMarker, kVersionTextSize);
}

std::string StatusResponse::identification() const {
    constexpr std::size_t kEnd = kIdentification + kIdentificationSize;
    std::size_t first = kIdentification;
    while (first < kEnd && bytes_[first] == 0) {
        ++first;
    }
    return text_at(first, kEnd - first);
}

} // namespace vupporta
