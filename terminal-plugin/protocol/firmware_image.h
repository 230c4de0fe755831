#pragma once
// A firmware file as the plug-in reads it: the whole file in memory, its image type byte, the
// version bytes and the product it is meant for. Everything else in the file belongs to the
// terminal's firmware and is sent unchanged.
#include "layouts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vupporta {

inline constexpr std::string_view kHalvane = "Halvane";
inline constexpr std::string_view kPellax = "Pellax";

class FirmwareImage {
  public:
    // Files above this size are refused as unreadable; terminal images are far smaller.
    static constexpr std::uint64_t kMaxFileSize = std::uint64_t{256} << 20;

    // Takes the bytes of a file and recognises its product. Loading never fails on content.
    explicit FirmwareImage(std::vector<std::uint8_t> bytes);

    std::span<const std::uint8_t> bytes() const { return data_; }
    std::size_t size() const { return data_.size(); }

    // The image type byte; nothing when the file is too short to hold it.
    std::optional<std::uint8_t> type() const { return byte_at(image_layout::kImageType); }
    bool is_firmware() const { return type() == image_layout::kFirmwareType; }
    bool is_application() const { return type() == image_layout::kApplicationType; }
    bool has_known_type() const { return is_firmware() || is_application(); }

    // "Halvane", "Pellax" or empty when the file names neither.
    std::string_view product() const { return product_; }

    // "%d.%02d" of the major and minor and "%d.%d.%d" of major, minor and build.
    std::string application_version() const;
    std::string firmware_version() const;

    // The bytes the fixed-size first blocks of the transfer need: an image shorter than this
    // cannot be sent whole.
    std::size_t minimum_transfer_size() const;

  private:
    std::optional<std::uint8_t> byte_at(std::size_t offset) const;
    std::string_view recognise_product() const;

    std::vector<std::uint8_t> data_;
    std::string_view product_;
};

// Loads a firmware file whole: nothing when it cannot be opened, is empty, larger than
// kMaxFileSize, or cannot be read whole.
[[nodiscard]] std::optional<FirmwareImage> load_firmware_image(const char* path);

} // namespace vupporta
