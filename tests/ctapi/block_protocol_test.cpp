#include "block_protocol.h"
#include "scripted_terminal.h"

#include <gtest/gtest.h>
#include <numeric>

namespace brantel::test {
namespace {

const Bytes kResetCt = {0x20, 0x11, 0x00, 0x00, 0x00};
const Bytes kGetStatus = {0x20, 0x13, 0x00, 0x46, 0x00};
constexpr std::uint8_t kToTerminal = 0x12; // destination 1, source 2
constexpr std::uint8_t kToHostFromTerminal = 0x21;

Bytes counting(std::size_t size, std::uint8_t first = 0) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class BlockProtocolTest : public ::testing::Test {
  protected:
    ScriptedTerminal terminal;
    BlockProtocol protocol{terminal};
    std::array<std::uint8_t, 4096> response{};

    ExchangeResult send(const Bytes& command, std::uint16_t& room,
                        ExchangeAddresses addresses = {1, 2}, bool card_terminal = false) {
        last_addresses = addresses;
        return protocol.exchange(last_addresses, command, response, room, card_terminal);
    }
    ExchangeResult send(const Bytes& command) {
        capacity = static_cast<std::uint16_t>(response.size());
        return send(command, capacity);
    }
    Bytes received() const { return Bytes(response.begin(), response.begin() + capacity); }

    std::uint16_t capacity = 0;
    ExchangeAddresses last_addresses;
};

TEST_F(BlockProtocolTest, ShortCommandAndAnswerTravelAsSingleIBlocks) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x95, 0x00}));
    ASSERT_EQ(send(kResetCt), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 1u);
    EXPECT_EQ(terminal.sent[0], make_block(kToTerminal, 0x00, kResetCt));
    EXPECT_EQ(received(), (Bytes{0x95, 0x00}));
    EXPECT_EQ(last_addresses.destination, 2);
    EXPECT_EQ(last_addresses.source, 1);

    // The next command carries N(S) 1 and expects the terminal's N(S) 1.
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(terminal.sent[1][1], 0x40);
}

TEST_F(BlockProtocolTest, ResetCtToTheTerminalRestartsTheNumbering) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(protocol.send_sequence(), 1);
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kResetCt), ExchangeResult::Success);
    EXPECT_EQ(terminal.sent[1][1], 0x00);

    // To a card slot the same bytes are an ordinary command and do not reset.
    terminal.answer(make_block(0x20, 0x40, {0x90, 0x00}));
    capacity = 100;
    ASSERT_EQ(send(kResetCt, capacity, {0, 2}), ExchangeResult::Success);
    EXPECT_EQ(terminal.sent[2][1], 0x40);
    EXPECT_EQ(last_addresses.source, 0);
}

TEST_F(BlockProtocolTest, CommandOf254BytesFitsOneBlockAnd255BytesAreChained) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(counting(254)), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 1u);
    EXPECT_EQ(terminal.sent[0][1], 0x00);
    EXPECT_EQ(terminal.sent[0][2], 254);

    protocol.reset();
    terminal.sent.clear();
    terminal.answer(make_block(kToHostFromTerminal, 0x90)); // send the piece with N(S) 1
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    const Bytes command = counting(255);
    ASSERT_EQ(send(command), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 2u);
    EXPECT_EQ(terminal.sent[0],
              make_block(kToTerminal, 0x20, Bytes(command.begin(), command.begin() + 254)));
    EXPECT_EQ(terminal.sent[1], make_block(kToTerminal, 0x40, {command[254]}));
}

TEST_F(BlockProtocolTest, LongestCommandTakesThreeBlocks) {
    terminal.answer(make_block(kToHostFromTerminal, 0x90));
    terminal.answer(make_block(kToHostFromTerminal, 0x80));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(counting(512)), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 3u);
    EXPECT_EQ(terminal.sent[0][1], 0x20);
    EXPECT_EQ(terminal.sent[0][2], 254);
    EXPECT_EQ(terminal.sent[1][1], 0x60);
    EXPECT_EQ(terminal.sent[1][2], 254);
    EXPECT_EQ(terminal.sent[2][1], 0x00);
    EXPECT_EQ(terminal.sent[2][2], 4);
    EXPECT_EQ(terminal.sent[2][3], static_cast<std::uint8_t>(508));
}

TEST_F(BlockProtocolTest, RBlockAskingForTheLastPieceAgainResendsIt) {
    terminal.answer(make_block(kToHostFromTerminal, 0x80)); // N(R) 0: the first piece again
    terminal.answer(make_block(kToHostFromTerminal, 0x90));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(counting(300)), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 3u);
    EXPECT_EQ(terminal.sent[1], terminal.sent[0]);
    EXPECT_EQ(terminal.sent[2][1], 0x40);
    EXPECT_EQ(terminal.sent[2][2], 300 - 254);
}

TEST_F(BlockProtocolTest, ChainedResponseIsAcknowledgedAndJoined) {
    terminal.answer(make_block(kToHostFromTerminal, 0x20, {1, 2, 3}));
    terminal.answer(make_block(kToHostFromTerminal, 0x60, {4, 5}));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 3u);
    EXPECT_EQ(terminal.sent[1], make_block(kToTerminal, 0x90));
    EXPECT_EQ(terminal.sent[2], make_block(kToTerminal, 0x80));
    EXPECT_EQ(received(), (Bytes{1, 2, 3, 4, 5, 0x90, 0x00}));
}

TEST_F(BlockProtocolTest, ResponseFillingTheBufferExactlyIsAccepted) {
    // 16 blocks of 254 and one of 32: 4096 bytes.
    std::uint8_t sequence = 0;
    for (int i = 0; i < 16; ++i, sequence ^= 1)
        terminal.answer(make_block(kToHostFromTerminal, sequence ? 0x60 : 0x20,
                                   Bytes(254, static_cast<std::uint8_t>(i))));
    terminal.answer(make_block(kToHostFromTerminal, sequence ? 0x40 : 0x00, Bytes(32, 0xEE)));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(capacity, 4096);
    EXPECT_EQ(response[4095], 0xEE);
}

TEST_F(BlockProtocolTest, ChainedResponseOutgrowingTheBufferFails) {
    std::uint8_t sequence = 0;
    for (int i = 0; i < 17; ++i, sequence ^= 1)
        terminal.answer(make_block(kToHostFromTerminal, sequence ? 0x60 : 0x20, Bytes(254, 0xAB)));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(terminal.sent.size(), 17u); // the 17th block was not asked past
}

TEST_F(BlockProtocolTest, BadBlocksFailWithoutAnyRepeatRequest) {
    Bytes corrupted = make_block(kToHostFromTerminal, 0x00, {0x90, 0x00});
    corrupted.back() ^= 0x01;
    terminal.answer(corrupted);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(terminal.sent.size(), 1u);

    // Wrong sequence bit: the refused block did not count, the terminal must still send N(S) 0.
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {0x90, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // An R-block while no command is being chained.
    terminal.answer(make_block(kToHostFromTerminal, 0x90));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // LEN larger than what follows: the read ends early.
    Bytes cut = make_block(kToHostFromTerminal, 0x40, {0x90, 0x00});
    cut[kLenOffset] = 200;
    terminal.answer(cut);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // Silence.
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(capacity, response.size());
}

TEST_F(BlockProtocolTest, FailedExchangeKeepsTheNumberingUntilReset) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure); // silence
    EXPECT_EQ(terminal.sent[1][1], 0x40);
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(terminal.sent[2][1], 0x00); // N(S) moved on with the failed block
    EXPECT_EQ(protocol.expected_sequence(), 0);
}

TEST_F(BlockProtocolTest, ErrorResponsesGiveTooLongOrFailure) {
    terminal.answer(make_block(0x82, 0x00, {0x01}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::TooLong);
    terminal.answer(make_block(0x82, 0x40, {0x02}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    terminal.answer(make_block(0x81, 0x00, {0x01, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(capacity, response.size());
}

TEST_F(BlockProtocolTest, ResponseLargerThanTheCapacityChangesNothing) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {1, 2, 0x90, 0x00}));
    response.fill(0x55);
    capacity = 2;
    ExchangeAddresses addresses{1, 2};
    EXPECT_EQ(protocol.exchange(addresses, kGetStatus, response, capacity, false),
              ExchangeResult::TooLong);
    EXPECT_EQ(capacity, 2);
    EXPECT_EQ(response[0], 0x55);
    EXPECT_EQ(addresses.destination, 1);
    EXPECT_EQ(addresses.source, 2);
}

TEST_F(BlockProtocolTest, SBlockEndsTheResponseWithWhatWasGathered) {
    terminal.answer(make_block(kToHostFromTerminal, 0x20, {7, 8}));
    terminal.answer(make_block(kToHostFromTerminal, 0xC1, {0xFE}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(received(), (Bytes{7, 8}));
}

} // namespace
} // namespace brantel::test
