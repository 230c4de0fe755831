#include "block_protocol.h"
#include "scripted_terminal.h"

#include <gtest/gtest.h>
#include <numeric>

namespace brantel::test {
namespace {

const Bytes kResetCt = {0x20, 0x11, 0x00, 0x00, 0x00};
const Bytes kGetStatus = {0x20, 0x13, 0x00, 0x46, 0x00};
const Bytes kReadBinary = {0x00, 0xB0, 0x00, 0x00, 0x00};
constexpr std::uint8_t kToTerminal = 0x12; // destination 1, source 2
constexpr std::uint8_t kToHostFromTerminal = 0x21;
const Bytes kResynchResponse = make_block(kToHostFromTerminal, 0xE0);
const Bytes kSilence; // a read that ends without a byte

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

    // Each failure is followed by a resynchronisation, which restarts the numbering.
    // Wrong sequence bit: the terminal must send N(S) 0.
    terminal.answer(kResynchResponse);
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {0x90, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // An R-block while no command is being chained.
    terminal.answer(kResynchResponse);
    terminal.answer(make_block(kToHostFromTerminal, 0x90));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // LEN larger than what follows: the read ends early.
    Bytes cut = make_block(kToHostFromTerminal, 0x00, {0x90, 0x00});
    cut[kLenOffset] = 200;
    terminal.answer(kResynchResponse);
    terminal.answer(cut);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // Silence.
    terminal.answer(kResynchResponse);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(capacity, response.size());
    EXPECT_TRUE(terminal.answers.empty());
    for (const Bytes& block : terminal.sent)
        EXPECT_NE(block_kind(block[1]), BlockKind::R);
}

TEST_F(BlockProtocolTest, LateAnswerIsSkippedAfterAResynchronisation) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure); // its answer is late
    EXPECT_TRUE(protocol.out_of_step());

    // The late answer comes before the terminal's RESYNCH response and is dropped.
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {0x11, 0x90, 0x00}));
    terminal.answer(make_block(0x20, 0xE0));
    terminal.answer(make_block(0x20, 0x00, {0x22, 0x90, 0x00}));
    capacity = 100;
    ASSERT_EQ(send(kReadBinary, capacity, {0, 2}), ExchangeResult::Success);
    EXPECT_EQ(received(), (Bytes{0x22, 0x90, 0x00}));
    EXPECT_EQ(terminal.discards, 1);
    ASSERT_EQ(terminal.sent.size(), 4u);
    EXPECT_EQ(terminal.sent[2], make_block(0x02, 0xC0)); // RESYNCH request to where it goes
    EXPECT_EQ(terminal.sent[3], make_block(0x02, 0x00, kReadBinary)); // numbering restarted
    EXPECT_FALSE(protocol.out_of_step());
}

TEST_F(BlockProtocolTest, UnansweredResynchronisationFallsBackToAQuietLine) {
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure); // its answer is late
    // A terminal without S-blocks: the late answer instead of a RESYNCH response, then silence;
    // the line is waited quiet, the numbering restarts and the command goes out.
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x11, 0x90, 0x00}));
    terminal.answer(kSilence);
    terminal.answer(kSilence);
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(received(), (Bytes{0x90, 0x00}));
    EXPECT_EQ(terminal.sent.back(), make_block(kToTerminal, 0x00, kGetStatus));
    EXPECT_FALSE(protocol.out_of_step());
    // The next commands go on in step.
    for (const std::uint8_t sequence : {std::uint8_t{0x40}, std::uint8_t{0x00}}) {
        terminal.answer(make_block(kToHostFromTerminal, sequence, {0x90, 0x00}));
        ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    }

    // A line that never falls quiet fails the command without sending it.
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    const std::size_t sent = terminal.sent.size();
    for (int i = 0; i < 2 * kMaxSkippedBlocks + 4; ++i)
        terminal.answer(make_block(0x20, 0x40, {0x90, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_EQ(terminal.sent.size(), sent + 1); // the RESYNCH request only
}

TEST_F(BlockProtocolTest, BlocksFromElsewhereAreSkipped) {
    // From the card although the command went to the terminal, then the terminal's answer.
    terminal.answer(make_block(0x20, 0x00, {0x66, 0x90, 0x00}));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(received(), (Bytes{0x90, 0x00}));
    EXPECT_EQ(terminal.sent.size(), 1u);

    // Nothing but foreign blocks: the exchange gives up.
    for (int i = 0; i <= kMaxSkippedBlocks; ++i)
        terminal.answer(make_block(0x20, 0x40, {0x90, 0x00}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_TRUE(terminal.answers.empty());
}

TEST_F(BlockProtocolTest, EndlessResendRequestsFailAfterThree) {
    // Three requests for the same piece are served, the fourth ends the exchange.
    for (int i = 0; i <= kMaxResendRequests; ++i)
        terminal.answer(make_block(kToHostFromTerminal, 0x80));
    EXPECT_EQ(send(counting(300)), ExchangeResult::Failure);
    ASSERT_EQ(terminal.sent.size(), 1u + kMaxResendRequests);
    for (const Bytes& block : terminal.sent)
        EXPECT_EQ(block, terminal.sent[0]);
}

TEST_F(BlockProtocolTest, FailedExchangeMovesTheNumberingOnUntilAResynchronisation) {
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure); // silence
    EXPECT_EQ(terminal.sent[1][1], 0x40);
    EXPECT_EQ(protocol.send_sequence(), 0); // moved on with the failed block
    EXPECT_EQ(protocol.expected_sequence(), 1);
    // The next command first resynchronises: both sides start again at 0.
    terminal.answer(kResynchResponse);
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(terminal.sent[2], make_block(kToTerminal, 0xC0));
    EXPECT_EQ(terminal.sent[3][1], 0x00);
    EXPECT_EQ(protocol.expected_sequence(), 1);
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

// The terminal's S-block requests are answered with their response and the exchange goes on.
TEST_F(BlockProtocolTest, SBlockRequestsAreAnsweredAndTheExchangeGoesOn) {
    // A waiting-time extension in the middle of a chained answer: the next block may take
    // three read time-outs.
    terminal.answer(make_block(kToHostFromTerminal, 0x20, {7, 8}));
    terminal.answer(make_block(kToHostFromTerminal, 0xC3, {0x03}));
    terminal.answer(make_block(kToHostFromTerminal, 0x40, {9, 0x90, 0x00}));
    ASSERT_EQ(send(kGetStatus), ExchangeResult::Success);
    EXPECT_EQ(received(), (Bytes{7, 8, 9, 0x90, 0x00}));
    ASSERT_EQ(terminal.sent.size(), 3u);
    EXPECT_EQ(terminal.sent[2], make_block(kToTerminal, 0xE3, {0x03}));
    EXPECT_EQ(terminal.patience, (std::vector<std::uint8_t>{1, 1, 3}));

    // A smaller block size: the rest of the command comes in pieces of that size.
    protocol.reset();
    terminal.sent.clear();
    terminal.answer(make_block(kToHostFromTerminal, 0xC1, {100}));
    terminal.answer(make_block(kToHostFromTerminal, 0x90));
    terminal.answer(make_block(kToHostFromTerminal, 0x80));
    terminal.answer(make_block(kToHostFromTerminal, 0x00, {0x90, 0x00}));
    ASSERT_EQ(send(counting(400)), ExchangeResult::Success);
    ASSERT_EQ(terminal.sent.size(), 4u);
    EXPECT_EQ(terminal.sent[1], make_block(kToTerminal, 0xE1, {100}));
    EXPECT_EQ(terminal.sent[2][kLenOffset], 100);
    EXPECT_EQ(terminal.sent[3][kLenOffset], 400 - 254 - 100);

    // An abort request ends the exchange.
    terminal.answer(kResynchResponse);
    terminal.answer(make_block(kToHostFromTerminal, 0xC2));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);

    // So does a terminal that asks for more time for ever.
    terminal.answer(kResynchResponse);
    for (int i = 0; i <= kMaxSRequests; ++i)
        terminal.answer(make_block(kToHostFromTerminal, 0xC3, {0x01}));
    EXPECT_EQ(send(kGetStatus), ExchangeResult::Failure);
    EXPECT_TRUE(terminal.answers.empty());
}

} // namespace
} // namespace brantel::test
