#pragma once
// The serial reader's frames: a CCID escape request (PC_to_RDR_Escape, type 6B) between DLE STX
// and DLE ETX, with an address byte, a 16-bit little-endian length, a check byte (XOR of
// everything from the address through the message) and DLE stuffing (every 10 from the
// address through the check byte is sent twice). The reader answers with wait frames (address
// FE) and one reply frame carrying a CCID escape reply (RDR_to_PC_Escape, type 83).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace valdrun {

inline constexpr std::uint8_t kVersionCommand = 0x00;     // reply data of 13 bytes
inline constexpr std::uint8_t kLongVersionCommand = 0x1E; // reply data of 38 bytes
inline constexpr std::size_t kMaxFrameLength = 1024;
inline constexpr std::size_t kEscapeFrameSize = 19; // before stuffing
// At most this many wait frames are taken before a reply; a reader that only ever asks to
// wait counts as not answering.
inline constexpr int kMaxWaitFrames = 64;

// The 19-byte frame for one command byte, stuffed.
std::vector<std::uint8_t> escape_frame(std::uint8_t command);

// Where the receive reads from: every read takes exactly the bytes asked for or fails (at
// most 1500 ms each on a port).
class FrameInput {
  public:
    virtual ~FrameInput() = default;
    virtual bool read(std::span<std::uint8_t> bytes) = 0;
    virtual void pause_after_wait_frame() = 0; // 100 ms on a port
    virtual void purge() = 0;                  // both directions
};

// Receives up to the reply frame and checks it: length above 17, the check byte, type 83,
// sequence 1, status bit 6 clear. Returns the reply data (message offset 10 on), or nothing.
std::optional<std::vector<std::uint8_t>> receive_escape_reply(FrameInput& input);

} // namespace valdrun
