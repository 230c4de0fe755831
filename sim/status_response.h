#pragma once
// The terminal's answer to GET STATUS of its manufacturer data object (20 13 00 46 00): an
// information field of 61 data bytes followed by the status word.
#include "sim/terminal_simulator.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Offsets in the information field.
namespace status_offset {
inline constexpr std::size_t kAppMarker = 12; // 'h' or the first of 5 text characters
inline constexpr std::size_t kAppMajor = 13;
inline constexpr std::size_t kAppMinor = 14;
inline constexpr std::size_t kFwMarker = 17;
inline constexpr std::size_t kFwMajor = 18;
inline constexpr std::size_t kFwMinor = 19;
inline constexpr std::size_t kFwBuild = 20;
inline constexpr std::size_t kRecordsHigh = 23;
inline constexpr std::size_t kRecordsLow = 24;
inline constexpr std::size_t kDownloadState = 25;
inline constexpr std::size_t kReadiness = 46;
inline constexpr std::size_t kIdentification = 47; // 14 bytes
inline constexpr std::size_t kStatusWord = 61;     // 2 bytes, the last ones
} // namespace status_offset

inline constexpr std::size_t kStatusResponseSize = 63;
static_assert(status_offset::kIdentification + 14 == status_offset::kStatusWord);
static_assert(status_offset::kStatusWord + 2 == kStatusResponseSize);
inline constexpr std::uint8_t kBinaryVersionMarker = 'h';

// The five characters of the application version text: `status.app_text` cut or padded with
// spaces to 5, or "%u.%02u" of the numbers padded on the left with '0' ("01.05").
std::string application_version_text(const TerminalStatus& status);
// The same for the firmware: `status.fw_text`, or "%u.%u.%u" of the numbers ("2.1.3").
std::string firmware_version_text(const TerminalStatus& status);

// The full information field for the given download state.
std::vector<std::uint8_t> build_status_response(const TerminalStatus& status,
                                                std::uint8_t download_state);

} // namespace sim
