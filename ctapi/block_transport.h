#pragma once
// What the block protocol needs of the link below it: one block out, one block in.
#include "block_frame.h"

namespace brantel {

class BlockTransport {
  public:
    virtual ~BlockTransport() = default;
    // Sends the block in `transmit` (LEN + 4 bytes) and reads one whole block into `receive`
    // (3 header bytes, then LEN + 1 bytes). False when either fails.
    virtual bool transceive(const BlockBuffer& transmit, BlockBuffer& receive) = 0;
};

} // namespace brantel
