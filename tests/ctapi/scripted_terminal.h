#pragma once
// A block transport for tests: records every block the library sends and answers with the
// byte strings queued for it, read the way the serial link reads a block (3 header bytes,
// then LEN + 1 more). A missing answer, or one that ends early, is a failed read (silence).
#include "block_transport.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace brantel::test {

using Bytes = std::vector<std::uint8_t>;

// A block with its check byte.
inline Bytes make_block(std::uint8_t nad, std::uint8_t pcb, const Bytes& inf = {}) {
    Bytes block;
    block.reserve(inf.size() + 4);
    block.push_back(nad);
    block.push_back(pcb);
    block.push_back(static_cast<std::uint8_t>(inf.size()));
    for (std::uint8_t byte : inf)
        block.push_back(byte);
    block.push_back(lrc(block));
    return block;
}

class ScriptedTerminal : public BlockTransport {
  public:
    std::vector<Bytes> sent;
    std::deque<Bytes> answers;
    std::vector<std::uint8_t> patience; // asked for by each read of a block
    int discards = 0;

    void answer(Bytes block) { answers.push_back(std::move(block)); }

    bool transceive(const BlockBuffer& transmit, BlockBuffer& receive, std::uint8_t wait) override {
        sent.emplace_back(transmit.begin(), transmit.begin() + block_size(transmit));
        return this->receive(receive, wait);
    }

    bool receive(BlockBuffer& receive, std::uint8_t wait) override {
        patience.push_back(wait);
        if (answers.empty())
            return false;
        const Bytes block = std::move(answers.front());
        answers.pop_front();
        if (block.size() < kHeaderSize)
            return false;
        const std::size_t wanted = kHeaderSize + block[kLenOffset] + 1;
        if (block.size() < wanted)
            return false; // silence mid-block
        std::copy(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(wanted),
                  receive.begin());
        return true;
    }

    // Answers queued here stand for what arrives later, so they stay.
    void discard_input() override { ++discards; }
};

} // namespace brantel::test
