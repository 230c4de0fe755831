#include "sim/terminal_block.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TerminalBlock, EncodesTheFixedStatusQueries) {
    Bytes manufacturer;
    append_block(0x12, 0x40, Bytes{0x20, 0x13, 0x00, 0x46, 0x00}, manufacturer);
    EXPECT_EQ(manufacturer, (Bytes{0x12, 0x40, 0x05, 0x20, 0x13, 0x00, 0x46, 0x00, 0x22}));
    Bytes short_query;
    append_block(0x12, 0x40, Bytes{0x20, 0x18, 0x00, 0x00, 0x00}, short_query);
    EXPECT_EQ(short_query, (Bytes{0x12, 0x40, 0x05, 0x20, 0x18, 0x00, 0x00, 0x00, 0x6F}));
}

TEST(TerminalBlock, ReaderFindsBlocksInAnyChunking) {
    Bytes stream;
    append_block(0x12, 0x00, Bytes{1, 2, 3}, stream);
    append_block(0x21, 0x90, Bytes{}, stream);
    Bytes big(255, 0xAB);
    append_block(0x02, 0x60, big, stream);
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, stream.size()}) {
        BlockReader reader;
        std::vector<Block> blocks;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            std::span<const std::uint8_t> piece =
                std::span(stream).subspan(at, std::min(chunk, stream.size() - at));
            while (!piece.empty()) {
                piece = piece.subspan(reader.feed(piece));
                if (reader.complete()) {
                    blocks.push_back(reader.block());
                }
            }
        }
        ASSERT_EQ(blocks.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(blocks[0].inf, (Bytes{1, 2, 3}));
        EXPECT_TRUE(blocks[1].inf.empty());
        EXPECT_EQ(blocks[1].pcb, 0x90);
        EXPECT_EQ(blocks[2].inf.size(), 255u);
        for (const Block& block : blocks) {
            EXPECT_TRUE(block.check_ok);
        }
    }
}

TEST(TerminalBlock, ReaderReportsABadCheckByte) {
    Bytes stream;
    append_block(0x12, 0x40, Bytes{0x20, 0x13}, stream);
    stream.back() ^= 0x01;
    BlockReader reader;
    EXPECT_EQ(reader.feed(stream), stream.size());
    ASSERT_TRUE(reader.complete());
    EXPECT_FALSE(reader.block().check_ok);
}

TEST(TerminalBlock, PcbClasses) {
    EXPECT_TRUE(is_i_block(0x60));
    EXPECT_TRUE(is_r_block(0x90));
    EXPECT_TRUE(is_s_block(0xC1));
    EXPECT_FALSE(is_r_block(0xE0));
}

} // namespace
} // namespace sim
