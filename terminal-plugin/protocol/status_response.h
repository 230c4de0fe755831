#pragma once
// The terminal's answer to the manufacturer status query (GET STATUS, manufacturer data
// object 0x46): the information field of the answer block, read by the offsets of
// status_layout. The field is kept in a zero-filled buffer of 256 bytes, so offsets past the
// received length read 0.
#include "layouts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vupporta {

class StatusResponse {
  public:
    static constexpr std::size_t kCapacity = status_layout::kCapacity;

    StatusResponse() = default;
    // Takes the information field (at most kCapacity bytes are kept).
    explicit StatusResponse(std::span<const std::uint8_t> information);

    std::size_t length() const { return length_; }
    std::uint8_t byte(std::size_t offset) const {
        return offset < bytes_.size() ? bytes_[offset] : 0;
    }

    // The status word (last two information bytes) is 90 00.
    bool status_ok() const;
    // Number of records still stored in the terminal.
    unsigned stored_records() const;
    // Download state: 1 ready; see the download's state table.
    std::uint8_t download_state() const { return byte(status_layout::kDownloadState); }
    // Download readiness.
    bool ready_for_download() const {
        return byte(status_layout::kReadiness) == status_layout::kReady;
    }

    bool application_version_binary() const {
        return byte(status_layout::kApplicationMarker) == status_layout::kBinaryMarker;
    }
    bool firmware_version_binary() const {
        return byte(status_layout::kFirmwareMarker) == status_layout::kBinaryMarker;
    }
    // "%d.%02d" of the binary major and minor, or the 5 characters of text from the marker on.
    std::string application_version() const;
    // "%d.%d.%d" of the three binary parts, or the 5 characters of text from the marker on.
    std::string firmware_version() const;
    // The 14-byte identification field from its first non-zero byte on.
    std::string identification() const;

  private:
    std::string text_at(std::size_t offset, std::size_t count) const;

    std::array<std::uint8_t, kCapacity> bytes_{};
    std::size_t length_ = 0;
};

} // namespace vupporta
