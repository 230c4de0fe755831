#pragma once
// What the block protocol needs of the link below it: one block out and one block in, one
// more block in without sending, and dropping what has arrived unread.
#include "block_frame.h"

#include <cstdint>

namespace brantel {

class BlockTransport {
  public:
    virtual ~BlockTransport() = default;
    // Sends the block in `transmit` (LEN + 4 bytes) and reads one whole block into `receive`
    // (3 header bytes, then LEN + 1 bytes). The block may take `patience` read time-outs to
    // begin (1 normally; more after the terminal asked for a waiting-time extension). False
    // when either fails.
    [[nodiscard]] virtual bool transceive(const BlockBuffer& transmit, BlockBuffer& receive,
                                          std::uint8_t patience) = 0;
    // Reads the next whole block without sending anything, with the same patience. False
    // when the read fails.
    [[nodiscard]] virtual bool receive(BlockBuffer& receive, std::uint8_t patience) = 0;
    // Drops whatever has arrived and not been read yet.
    virtual void discard_input() = 0;
};

} // namespace brantel
