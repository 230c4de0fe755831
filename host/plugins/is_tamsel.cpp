#include "host/plugins/is_tamsel.h"

#include "host/host_log.h"
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace morlin {

namespace {

constexpr const char* kSource = "IsTamsel";
constexpr std::string_view kMarker = "CAPAB";
constexpr std::size_t kDeviceTypeOffset = 6;
// Firmware images are a few megabytes; a larger file cannot be one.
constexpr std::uint64_t kLargestImage = std::uint64_t{256} << 20;

std::optional<std::vector<std::uint8_t>> read_image(const char* file_name) {
    platform::OpenOptions options;
    options.access = platform::Access::Read;
    options.share = platform::Share::ReadWrite;
    options.disposition = platform::Disposition::OpenExisting;
    auto file = platform::File::open(file_name, options);
    if (!file) {
        host_log("%s(%i) :Error in opening file %s. Error: %xh", kSource, 111, file_name,
                 platform::last_error());
        return std::nullopt;
    }
    const auto size = file->size();
    if (!size) {
        host_log("%s(%i) :Error retriving file size for %s. Error: %xh", kSource, 119, file_name,
                 platform::last_error());
        return std::nullopt;
    }
    if (*size == 0) {
        host_log("%s(%i) :File %s is a NULL file. Error: %xh", kSource, 126, file_name,
                 platform::last_error());
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer;
    try {
        if (*size > kLargestImage) {
            throw std::bad_alloc();
        }
        buffer.resize(static_cast<std::size_t>(*size));
    } catch (const std::bad_alloc&) {
        platform::set_last_error(platform::kErrorNotEnoughMemory);
        host_log("%s(%i) :Error in allocating space for buffer. Error: %xh", kSource, 134,
                 platform::last_error());
        return std::nullopt;
    }
    const auto got = file->read(buffer);
    if (!got) {
        host_log("%s(%i) :Error in reading from %s. Error: %xh", kSource, 142, file_name,
                 platform::last_error());
        return std::nullopt;
    }
    if (*got < buffer.size()) {
        host_log("%s(%i) :Unable to read entire file %s", kSource, 149, file_name);
        return std::nullopt;
    }
    return buffer;
}

} // namespace

CapabilityScan scan_capability_block(std::span<const std::uint8_t> image) {
    CapabilityScan scan;
    const auto marker = reinterpret_cast<const std::uint8_t*>(kMarker.data());
    const auto found = std::search(image.begin(), image.end(), marker, marker + kMarker.size());
    if (found == image.end()) {
        return scan;
    }
    scan.marker_found = true;
    const auto position = static_cast<std::size_t>(found - image.begin());
    if (image.size() - position > kDeviceTypeOffset) {
        scan.device_type = image[position + kDeviceTypeOffset];
    }
    return scan;
}

int IsTamsel(const char* file_name) {
    if (file_name == nullptr) {
        return 0;
    }
    host_log("%s(%i) :Checking whether %s is a Tamsel Binary", kSource, 56, file_name);
    const auto image = read_image(file_name);
    if (!image) {
        return 0;
    }
    const CapabilityScan scan = scan_capability_block(*image);
    if (!scan.marker_found) {
        host_log("%s(%i) :CAPAB not found\r\n", kSource, 67);
        return 0;
    }
    if (!scan.device_type) {
        return 0; // the marker sits too close to the end for a device type byte
    }
    host_log("%s(%i) :DeviceType = %d", kSource, 75, *scan.device_type);
    if (*scan.device_type == kTamselDeviceType) {
        host_log("%s(%i) :Is a Tamsel Binary", kSource, 80);
        return 1;
    }
    return 0;
}

} // namespace morlin
