#pragma once
// The terminal's answer to the manufacturer status query (GET STATUS, manufacturer data
// object 0x46): the information field of the answer block, read by fixed offsets. The field
// is kept in a zero-filled buffer of 256 bytes, so offsets past the received length read 0.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vupporta {

class StatusResponse {
  public:
    static constexpr std::size_t kCapacity = 256;
    static constexpr std::uint8_t kBinaryMarker = 'h';

    StatusResponse() = default;
    // Takes the information field (at most kCapacity bytes are kept).
    explicit StatusResponse(std::span<const std::uint8_t> information);

    std::size_t length() const { return length_; }
    std::uint8_t byte(std::size_t offset) const {
        return offset < bytes_.size() ? bytes_[offset] : 0;
    }

    // The status word (last two information bytes) is 90 00.
    bool status_ok() const;
    // Number of records still stored in the terminal (bytes 23 high, 24 low).
    unsigned stored_records() const;
    // Download state (byte 25): 1 ready; see the download's state table.
    std::uint8_t download_state() const { return byte(25); }
    // Download readiness (byte 46 is 1).
    bool ready_for_download() const { return byte(46) == 1; }

    bool application_version_binary() const { return byte(12) == kBinaryMarker; }
    bool firmware_version_binary() const { return byte(17) == kBinaryMarker; }
    // "%d.%02d" of bytes 13, 14, or the 5 characters of text at bytes 12 to 16.
    std::string application_version() const;
    // "%d.%d.%d" of bytes 18, 19, 20, or the 5 characters of text at bytes 17 to 21.
    std::string firmware_version() const;
    // The 14-byte identification field (bytes 47 to 60) from its first non-zero byte on.
    std::string identification() const;

  private:
    std::string text_at(std::size_t offset, std::size_t count) const;

    std::array<std::uint8_t, kCapacity> bytes_{};
    std::size_t length_ = 0;
};

} // namespace vupporta
