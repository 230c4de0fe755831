#include "sim/terminal_block.h"

#include <algorithm>

namespace sim {

std::uint8_t block_check(std::span<const std::uint8_t> bytes) {
    std::uint8_t check = 0;
    for (std::uint8_t byte : bytes) {
        check = static_cast<std::uint8_t>(check ^ byte);
    }
    return check;
}

void append_block(std::uint8_t nad, std::uint8_t pcb, std::span<const std::uint8_t> inf,
                  std::vector<std::uint8_t>& out) {
    const std::size_t len = std::min(inf.size(), kMaxBlockInf);
    const std::size_t start = out.size();
    out.push_back(nad);
    out.push_back(pcb);
    out.push_back(static_cast<std::uint8_t>(len));
    out.insert(out.end(), inf.begin(), inf.begin() + static_cast<std::ptrdiff_t>(len));
    out.push_back(block_check(std::span(out).subspan(start)));
}

void BlockReader::reset() {
    gathered_ = 0;
    check_ = 0;
    complete_ = false;
    block_.inf.clear();
}

std::size_t BlockReader::feed(std::span<const std::uint8_t> bytes) {
    if (complete_) {
        reset();
    }
    std::size_t taken = 0;
    while (taken < bytes.size() && gathered_ < kBlockHeaderSize) {
        header_[gathered_++] = bytes[taken];
        check_ = static_cast<std::uint8_t>(check_ ^ bytes[taken]);
        ++taken;
        if (gathered_ == kBlockHeaderSize) {
            block_.nad = header_[0];
            block_.pcb = header_[1];
            block_.inf.clear();
            block_.inf.reserve(header_[2]);
        }
    }
    if (gathered_ < kBlockHeaderSize) {
        return taken;
    }
    const std::size_t len = header_[2];
    const std::size_t inf_have = gathered_ - kBlockHeaderSize;
    if (inf_have < len) {
        const std::size_t n = std::min(len - inf_have, bytes.size() - taken);
        const auto piece = bytes.subspan(taken, n);
        block_.inf.insert(block_.inf.end(), piece.begin(), piece.end());
        check_ = static_cast<std::uint8_t>(check_ ^ block_check(piece));
        taken += n;
        gathered_ += n;
    }
    if (gathered_ == kBlockHeaderSize + len && taken < bytes.size()) {
        check_ = static_cast<std::uint8_t>(check_ ^ bytes[taken]);
        ++taken;
        ++gathered_;
        block_.check_ok = check_ == 0;
        complete_ = true;
    }
    return taken;
}

} // namespace sim
