#pragma once
// The terminal block: NAD, PCB, LEN, LEN information bytes, and a check byte that is the XOR
// of all bytes before it. Blocks follow each other with no other framing; LEN alone tells
// where a block ends.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

inline constexpr std::size_t kBlockHeaderSize = 3;
inline constexpr std::size_t kMaxBlockInf = 255;

// PCB bits (T=1 block types).
inline constexpr std::uint8_t kPcbRBlock = 0x80;
inline constexpr std::uint8_t kPcbSBlock = 0xC0;
inline constexpr std::uint8_t kPcbINs = 0x40;    // N(S) of an I-block
inline constexpr std::uint8_t kPcbIMore = 0x20;  // more data follows
inline constexpr std::uint8_t kPcbRNr = 0x10;    // N(R) of an R-block
inline constexpr std::uint8_t kPcbRError = 0x01; // R-block: check byte or other error

inline bool is_i_block(std::uint8_t pcb) {
    return (pcb & 0x80) == 0;
}
inline bool is_r_block(std::uint8_t pcb) {
    return (pcb & 0xC0) == 0x80;
}
inline bool is_s_block(std::uint8_t pcb) {
    return (pcb & 0xC0) == 0xC0;
}

// XOR of the bytes.
std::uint8_t block_check(std::span<const std::uint8_t> bytes);

// Appends one block to `out`. The information field is cut to kMaxBlockInf bytes.
void append_block(std::uint8_t nad, std::uint8_t pcb, std::span<const std::uint8_t> inf,
                  std::vector<std::uint8_t>& out);

struct Block {
    std::uint8_t nad = 0;
    std::uint8_t pcb = 0;
    std::vector<std::uint8_t> inf;
    bool check_ok = true;
};

// Gathers blocks from a byte stream.
class BlockReader {
  public:
    // Takes bytes until one block is complete or the input is used up; returns the count
    // taken. When complete() is true, block() holds the block until the next feed().
    std::size_t feed(std::span<const std::uint8_t> bytes);
    bool complete() const { return complete_; }
    const Block& block() const { return block_; }
    bool in_progress() const { return !complete_ && gathered_ > 0; }
    void reset();

  private:
    std::uint8_t header_[kBlockHeaderSize] = {};
    std::size_t gathered_ = 0; // bytes of the current block so far
    std::uint8_t check_ = 0;
    bool complete_ = false;
    Block block_;
};

} // namespace sim
