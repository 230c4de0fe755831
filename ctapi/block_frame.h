#pragma once
// The terminal's block layout: NAD, PCB, LEN, INF (LEN bytes), LRC. The LRC is the exclusive-or
// of every byte before it, so the exclusive-or of a whole good block is 0. There is no other
// framing: the receiver finds the end of a block from LEN alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace brantel {

inline constexpr std::size_t kHeaderSize = 3;           // NAD, PCB, LEN
inline constexpr std::size_t kMaxSendData = 254;        // INF bytes the library puts into a block
inline constexpr std::size_t kBlockBufferSize = 272;    // room for LEN up to 255 and the LRC
inline constexpr std::size_t kMessageBufferSize = 4096; // command and response buffers

inline constexpr std::size_t kNadOffset = 0;
inline constexpr std::size_t kPcbOffset = 1;
inline constexpr std::size_t kLenOffset = 2;
inline constexpr std::size_t kInfOffset = 3;

using BlockBuffer = std::array<std::uint8_t, kBlockBufferSize>;
static_assert(kHeaderSize + 255 + 1 <= kBlockBufferSize, "a received block always fits");

// Control byte (PCB).
inline constexpr std::uint8_t kPcbRBlockBit = 0x80; // clear: I-block
inline constexpr std::uint8_t kPcbSBlockBit = 0x40; // with 0x80: S-block
inline constexpr std::uint8_t kPcbISequence = 0x40; // N(S) of an I-block
inline constexpr std::uint8_t kPcbIMoreData = 0x20; // more-data bit of an I-block
inline constexpr std::uint8_t kPcbRSequence = 0x10; // N(R) of an R-block
inline constexpr std::uint8_t kPcbSResponse = 0x20; // an S-block answering a request
inline constexpr std::uint8_t kPcbSTypeMask = 0x1F;

// S-block types (the low bits of the PCB), as T=1 numbers them.
enum class SBlockType : std::uint8_t { Resynch = 0x00, Ifs = 0x01, Abort = 0x02, Wtx = 0x03 };

constexpr std::uint8_t s_block_pcb(SBlockType type, bool response) {
    return static_cast<std::uint8_t>(kPcbRBlockBit | kPcbSBlockBit |
                                     (response ? kPcbSResponse : 0) |
                                     static_cast<std::uint8_t>(type));
}
constexpr bool is_s_response(std::uint8_t pcb) {
    return (pcb & kPcbSResponse) != 0;
}
constexpr SBlockType s_block_type(std::uint8_t pcb) {
    return static_cast<SBlockType>(pcb & kPcbSTypeMask);
}

enum class BlockKind { I, R, S };

constexpr BlockKind block_kind(std::uint8_t pcb) {
    if ((pcb & kPcbRBlockBit) == 0) {
        return BlockKind::I;
    }
    return (pcb & kPcbSBlockBit) != 0 ? BlockKind::S : BlockKind::R;
}

constexpr std::uint8_t i_block_pcb(std::uint8_t send_sequence, bool more) {
    return static_cast<std::uint8_t>((send_sequence != 0 ? kPcbISequence : 0) |
                                     (more ? kPcbIMoreData : 0));
}

constexpr std::uint8_t r_block_pcb(std::uint8_t expected_sequence) {
    return static_cast<std::uint8_t>(kPcbRBlockBit | (expected_sequence != 0 ? kPcbRSequence : 0));
}

// Exclusive-or of the bytes.
constexpr std::uint8_t lrc(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : bytes) {
        sum ^= byte;
    }
    return sum;
}

// Total size of the block whose header is in `block` (LEN + 4).
inline std::size_t block_size(const BlockBuffer& block) {
    return block[kLenOffset] + kHeaderSize + 1;
}

// Addresses packed into NAD: destination in the high nibble, source in the low one.
constexpr std::uint8_t make_nad(std::uint8_t destination, std::uint8_t source) {
    return static_cast<std::uint8_t>(((destination & 0x0F) << 4) | (source & 0x0F));
}
constexpr std::uint8_t nad_destination(std::uint8_t nad) {
    return nad >> 4;
}
constexpr std::uint8_t nad_source(std::uint8_t nad) {
    return nad & 0x0F;
}

inline constexpr std::uint8_t kErrorResponseDestination = 8;

// The address byte of a block answering one sent with `nad`: destination and source swapped.
constexpr std::uint8_t answer_nad(std::uint8_t nad) {
    return make_nad(nad_source(nad), nad_destination(nad));
}
// Whether a block with address byte `received` may answer a block sent with `sent`: it comes
// back from where the block went, or it is an error response.
constexpr bool answers(std::uint8_t received, std::uint8_t sent) {
    return received == answer_nad(sent) || nad_destination(received) == kErrorResponseDestination;
}

} // namespace brantel
