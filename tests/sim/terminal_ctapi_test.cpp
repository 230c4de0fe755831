// The CT-API side of the terminal: T=1-style blocks, chaining both ways, resets and errors.
#include "tests/sim/terminal_driver.h"

#include <gtest/gtest.h>

namespace sim::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kResetCt{0x20, 0x11, 0x00, 0x00, 0x00};
const Bytes kGetStatus{0x20, 0x13, 0x00, 0x46, 0x00};

Block one_block(const Bytes& bytes) {
    const auto blocks = parse_blocks(bytes);
    EXPECT_EQ(blocks.size(), 1u);
    return blocks.empty() ? Block{} : blocks[0];
}

TEST(TerminalCtApi, OpenResetThenStatusWithSequenceNumbers) {
    TerminalDriver driver;
    // The library's open reset: destination 1, source 6, N(S) 0.
    const Block reset = one_block(driver.send_block(0x16, 0x00, kResetCt));
    EXPECT_EQ(reset.nad, 0x61);
    EXPECT_EQ(reset.pcb, 0x00);
    EXPECT_EQ(reset.inf, (Bytes{0x95, 0x00}));
    EXPECT_TRUE(reset.check_ok);
    EXPECT_EQ(describe(driver.terminal.log().back()), "BlockOut 61 00 02 95 00");

    const Block status = one_block(driver.send_block(0x12, 0x40, kGetStatus));
    EXPECT_EQ(status.nad, 0x21);
    EXPECT_EQ(status.pcb, 0x40); // the terminal's second I-block
    ASSERT_GE(status.inf.size(), 63u);
    EXPECT_EQ(status.inf[status.inf.size() - 2], 0x90);
    EXPECT_EQ(status.inf[status.inf.size() - 1], 0x00);

    // RESET CT puts the numbering back: the answer carries N(S) 0 again.
    EXPECT_EQ(one_block(driver.send_block(0x12, 0x00, kResetCt)).pcb, 0x00);
}

TEST(TerminalCtApi, ResetAnswerIsSettable) {
    TerminalStatus status;
    status.reset_status_word = 0x9000;
    TerminalDriver driver({}, status);
    EXPECT_EQ(one_block(driver.send_block(0x16, 0x00, kResetCt)).inf, (Bytes{0x90, 0x00}));
}

TEST(TerminalCtApi, DownloadStatesFollowEachOtherAndTheLastRepeats) {
    TerminalStatus status;
    status.download_states = {4, 4, 1};
    TerminalDriver driver({}, status);
    std::vector<std::uint8_t> seen;
    for (int i = 0; i < 5; ++i) {
        seen.push_back(one_block(driver.send_block(0x12, 0x40, kGetStatus)).inf.at(25));
    }
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{4, 4, 1, 1, 1}));
}

TEST(TerminalCtApi, ShortStatusQueryAnswersWithItsStatusWord) {
    TerminalDriver driver;
    const Bytes query{0x12, 0x40, 0x05, 0x20, 0x18, 0x00, 0x00, 0x00, 0x6F};
    const Block answer = one_block(driver.send(query));
    ASSERT_GE(answer.inf.size(), 2u);
    EXPECT_EQ(answer.inf[0], 0x90);
    EXPECT_EQ(answer.inf[1], 0x00);
}

TEST(TerminalCtApi, ChainedCommandIsAskedForPieceByPiece) {
    TerminalDriver driver;
    driver.send_block(0x16, 0x00, kResetCt);
    // 255-byte SELECT-like command to the card: 254 bytes with the more bit, then 1 byte.
    Bytes command(255, 0x11);
    command[0] = 0x00;
    command[1] = 0xA4;
    const Block ask = one_block(
        driver.send_block(0x02, 0x40 | kPcbIMore, Bytes(command.begin(), command.begin() + 254)));
    EXPECT_TRUE(is_r_block(ask.pcb));
    EXPECT_EQ(ask.pcb, 0x80); // N(R) 0: the next piece carries N(S) 0
    EXPECT_TRUE(ask.inf.empty());
    const Block answer = one_block(driver.send_block(0x02, 0x00, Bytes{command.back()}));
    EXPECT_TRUE(is_i_block(answer.pcb));
    EXPECT_EQ(answer.nad, 0x20);
    EXPECT_EQ(answer.inf, (Bytes{0x90, 0x00}));
}

TEST(TerminalCtApi, ReadBinaryOfSeveralKiBIsChainedAndJoinsUp) {
    TerminalConfig config;
    config.card.content = pattern(3000, 3);
    TerminalDriver driver(config);
    driver.send_block(0x16, 0x00, kResetCt);
    Block block = one_block(driver.send_block(0x02, 0x40, Bytes{0x00, 0xB0, 0x00, 0x00, 0x00}));
    Bytes response;
    std::uint8_t expected_ns = 1;
    int pieces = 0;
    while (true) {
        ASSERT_TRUE(is_i_block(block.pcb));
        EXPECT_EQ((block.pcb & kPcbINs) != 0 ? 1 : 0, expected_ns);
        EXPECT_LE(block.inf.size(), 254u);
        response.insert(response.end(), block.inf.begin(), block.inf.end());
        ++pieces;
        expected_ns ^= 1;
        if ((block.pcb & kPcbIMore) == 0) {
            break;
        }
        // Acknowledge with the N(R) of the next expected piece.
        block = one_block(
            driver.send_block(0x02, static_cast<std::uint8_t>(0x80 | (expected_ns << 4)), {}));
    }
    EXPECT_EQ(pieces, 12); // 3002 bytes in pieces of 254
    ASSERT_EQ(response.size(), 3002u);
    EXPECT_EQ(Bytes(response.begin(), response.end() - 2), config.card.content);
    EXPECT_EQ(response[3000], 0x90);
}

TEST(TerminalCtApi, RBlockWithTheOldNumberRepeatsTheLastPiece) {
    TerminalConfig config;
    config.card.content = pattern(600);
    TerminalDriver driver(config);
    const Block first =
        one_block(driver.send_block(0x02, 0x00, Bytes{0x00, 0xB0, 0x00, 0x00, 0x00}));
    ASSERT_EQ(first.pcb, 0x20);       // N(S) 0, more
    const std::uint8_t old_nr = 0x80; // N(R) 0: "send the piece with N(S) 0 again"
    const Block again = one_block(driver.send_block(0x02, old_nr, {}));
    EXPECT_EQ(again.pcb, first.pcb);
    EXPECT_EQ(again.inf, first.inf);
    const Block second = one_block(driver.send_block(0x02, 0x90, {}));
    EXPECT_EQ(second.pcb, 0x60); // N(S) 1, more
}

TEST(TerminalCtApi, ReadBinaryWithOffsetAndLength) {
    TerminalConfig config;
    config.card.content = pattern(1000);
    TerminalDriver driver(config);
    const Block answer =
        one_block(driver.send_block(0x02, 0x00, Bytes{0x00, 0xB0, 0x01, 0x00, 0x10}));
    ASSERT_EQ(answer.inf.size(), 18u);
    EXPECT_EQ(Bytes(answer.inf.begin(), answer.inf.begin() + 16),
              Bytes(config.card.content.begin() + 256, config.card.content.begin() + 272));
    const Block beyond =
        one_block(driver.send_block(0x02, 0x40, Bytes{0x00, 0xB0, 0x7F, 0x00, 0x00}));
    EXPECT_EQ(beyond.inf, (Bytes{0x6B, 0x00}));
}

TEST(TerminalCtApi, ErrorResponsesCarryDestinationNibble8) {
    TerminalDriver driver;
    const Block no_unit = one_block(driver.send_block(0x32, 0x00, kGetStatus)); // slot 3
    EXPECT_EQ(no_unit.nad >> 4, 8);
    EXPECT_EQ(no_unit.inf.size(), 1u);

    Faults faults;
    faults.error_response = 1;
    faults.error_response_byte = 0x01;
    driver.terminal.set_faults(faults);
    const Block forced = one_block(driver.send_block(0x12, 0x40, kGetStatus));
    EXPECT_EQ(forced.nad, 0x81);
    EXPECT_EQ(forced.inf, Bytes{0x01});
}

TEST(TerminalCtApi, CardAbsentGivesAnErrorResponse) {
    TerminalConfig config;
    config.card.present = false;
    TerminalDriver driver(config);
    EXPECT_EQ(
        one_block(driver.send_block(0x02, 0x00, Bytes{0x00, 0xB0, 0x00, 0x00, 0x00})).nad >> 4, 8);
}

TEST(TerminalCtApi, BadCheckAndWrongSequenceFaults) {
    Faults faults;
    faults.bad_check_response = 2;
    faults.wrong_sequence_response = 3;
    TerminalDriver driver({}, {}, faults);
    EXPECT_TRUE(one_block(driver.send_block(0x16, 0x00, kResetCt)).check_ok);
    EXPECT_FALSE(one_block(driver.send_block(0x12, 0x40, kGetStatus)).check_ok);
    const Block third = one_block(driver.send_block(0x12, 0x00, kGetStatus));
    EXPECT_TRUE(third.check_ok);
    EXPECT_EQ(third.pcb, 0x40); // its N(S) is 0 after two I-blocks; the fault flips it
    const Block fourth = one_block(driver.send_block(0x12, 0x40, kGetStatus));
    EXPECT_EQ(fourth.pcb, 0x40); // numbering goes on as if nothing happened
}

TEST(TerminalCtApi, BlockWithBadCheckIsAnsweredWithAnErrorRBlock) {
    TerminalDriver driver;
    Bytes block;
    append_block(0x12, 0x00, kGetStatus, block);
    block.back() ^= 0x5A;
    const Block answer = one_block(driver.send(block));
    EXPECT_TRUE(is_r_block(answer.pcb));
    EXPECT_NE(answer.pcb & kPcbRError, 0);
}

TEST(TerminalCtApi, SilenceAndUnplugAfterStatusQueries) {
    Faults faults;
    faults.silent_requests = 1;
    faults.unplug_after_status_queries = 2;
    TerminalDriver driver({}, {}, faults);
    EXPECT_TRUE(driver.send_block(0x12, 0x40, kGetStatus).empty());
    EXPECT_FALSE(driver.unplug_requested);
    EXPECT_EQ(parse_blocks(driver.send_block(0x12, 0x40, kGetStatus)).size(), 1u);
    EXPECT_TRUE(driver.unplug_requested);
}

TEST(TerminalCtApi, SBlockResynchIsAnsweredAndResetsNumbering) {
    TerminalDriver driver;
    driver.send_block(0x12, 0x00, kGetStatus);
    const Block answer = one_block(driver.send_block(0x12, 0xC0, {}));
    EXPECT_EQ(answer.pcb, 0xE0);
    EXPECT_EQ(one_block(driver.send_block(0x12, 0x00, kGetStatus)).pcb, 0x00);
}

TEST(TerminalCtApi, ResponseDelayHoldsTheAnswerBack) {
    TerminalConfig config;
    config.response_delay = std::chrono::milliseconds(30);
    TerminalDriver driver(config);
    EXPECT_TRUE(driver.send_block(0x12, 0x40, kGetStatus).empty());
    EXPECT_TRUE(driver.wait(std::chrono::milliseconds(29)).empty());
    EXPECT_EQ(parse_blocks(driver.wait(std::chrono::milliseconds(1))).size(), 1u);
}

} // namespace
} // namespace sim::test
