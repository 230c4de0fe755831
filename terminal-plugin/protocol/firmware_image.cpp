#include "firmware_image.h"

#include "terminal-plugin/listing/version_text.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <platform/files/files.h>

namespace vupporta {
namespace {

using namespace image_layout;

bool equal_ignoring_case(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin(), [](char a, std::uint8_t b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(b);
           });
}

// Whether "PRODCFG", 0x00, `product_byte` occurs anywhere; the letters compare ignoring case.
bool has_product_configuration(std::span<const std::uint8_t> data, std::uint8_t product_byte) {
    constexpr std::string_view kMarker = kProductConfiguration;
    constexpr std::size_t kLength = kProductConfigurationSize;
    if (data.size() < kLength) {
        return false;
    }
    for (std::size_t at = 0; at + kLength <= data.size(); ++at) {
        if ((data[at] | 0x20) != 'p') {
            continue;
        }
        if (data[at + kMarker.size()] == 0x00 && data[at + kMarker.size() + 1] == product_byte &&
            equal_ignoring_case(data.subspan(at, kMarker.size()), kMarker)) {
            return true;
        }
    }
    return false;
}

} // namespace

FirmwareImage::FirmwareImage(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {
    product_ = recognise_product();
}

std::optional<std::uint8_t> FirmwareImage::byte_at(std::size_t offset) const {
    if (offset >= data_.size()) {
        return std::nullopt;
    }
    return data_[offset];
}

std::string_view FirmwareImage::recognise_product() const {
    const std::span<const std::uint8_t> data = data_;
    if (is_application()) {
        if (has_product_configuration(data, kHalvaneConfiguration)) {
            return kHalvane;
        }
        if (has_product_configuration(data, kPellaxConfiguration)) {
            return kPellax;
        }
        return {};
    }
    if (data.size() <= kProductTag) {
        return {};
    }
    const auto tag = data.subspan(kProductTag);
    if (equal_ignoring_case(tag, "QVX") || equal_ignoring_case(tag, "HALVANE")) {
        return kHalvane;
    }
    if (equal_ignoring_case(tag, "Pellax")) {
        return kPellax;
    }
    return {};
}

std::string FirmwareImage::application_version() const {
    return application_version_text(byte_at(kVersion).value_or(0),
                                    byte_at(kVersion + 1).value_or(0));
}

std::string FirmwareImage::firmware_version() const {
    return firmware_version_text(byte_at(kVersion).value_or(0), byte_at(kVersion + 1).value_or(0),
                                 byte_at(kVersion + 2).value_or(0));
}

std::size_t FirmwareImage::minimum_transfer_size() const {
    return is_firmware() ? transfer_layout::kFirmwareMinimumSize
                         : transfer_layout::kApplicationMinimumSize;
}

std::optional<FirmwareImage> load_firmware_image(const char* path) {
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    auto file = platform::File::open(path, {platform::Access::Read, platform::Share::ReadWrite,
                                            platform::Disposition::OpenExisting, false});
    if (!file) {
        return std::nullopt;
    }
    const auto size = file->size();
    if (!size || *size == 0 || *size > FirmwareImage::kMaxFileSize) {
        return std::nullopt;
    }
    // The whole file or nothing: a file that shrinks while it is read is not an image, and
    // neither is one that there is no memory for.
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(*size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const auto count = file->read(std::span(bytes).subspan(filled));
        if (!count || *count == 0) {
            return std::nullopt;
        }
        filled += *count;
    }
    return FirmwareImage(std::move(bytes));
}

} // namespace vupporta
