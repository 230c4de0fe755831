#include "fake_terminal.h"
#include "terminal-plugin/protocol/serial_link.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <vup_plugin.h>

namespace vupporta {
namespace {

using testing::FakeTerminal;
using testing::LogCapture;

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::prepare_fast_environment(); }

    SerialLink& open_link() {
        link_.emplace([this](std::string_view path) { return terminal.open(path); });
        EXPECT_EQ(link_->open("COM7"), VUP_OK);
        return *link_;
    }

    FakeTerminal terminal;
    LogCapture log;
    std::optional<SerialLink> link_; // ends before the terminal it talks to
};

TEST_F(SerialLinkTest, OpensTheDevicePathAndSetsTheLine) {
    struct RecordingPort : platform::SerialPort {
        platform::LineSettings line{};
        bool get_line_settings(platform::LineSettings& s) override {
            s = line;
            return true;
        }
        bool set_line_settings(const platform::LineSettings& s) override {
            line = s;
            return true;
        }
        bool get_timeouts(platform::Timeouts&) override { return true; }
        bool set_timeouts(const platform::Timeouts&) override { return true; }
        bool setup_queues(std::uint32_t, std::uint32_t) override { return true; }
        std::optional<std::size_t> read(std::span<std::uint8_t>) override { return 0; }
        std::optional<std::size_t> write(std::span<const std::uint8_t> d) override {
            return d.size();
        }
        bool set_break(bool) override { return true; }
        bool purge(std::uint32_t) override { return true; }
        void cancel() override {}
        bool connected() const override { return true; }
    };
    RecordingPort* seen = nullptr;
    std::string path;
    SerialLink link([&](std::string_view p) {
        path = p;
        auto port = std::make_unique<RecordingPort>();
        port->line.baud = 9600;
        port->line.parity = platform::Parity::Even;
        port->line.stop_bits = platform::StopBits::Two;
        port->line.data_bits = 7;
        port->line.binary = false;
        seen = port.get();
        return port;
    });
    ASSERT_EQ(link.open("COM3"), VUP_OK);
    EXPECT_EQ(path, "\\\\.\\COM3");
    EXPECT_EQ(seen->line.baud, 57600u);
    EXPECT_EQ(seen->line.data_bits, 8);
    EXPECT_EQ(seen->line.parity, platform::Parity::None);
    EXPECT_EQ(seen->line.stop_bits, platform::StopBits::One);
    EXPECT_TRUE(seen->line.binary);
}

TEST_F(SerialLinkTest, MissingPortGives729AndLeavesNothingOpen) {
    terminal.connected = false;
    SerialLink link([this](std::string_view path) { return terminal.open(path); });
    EXPECT_EQ(link.open("COM9"), VUP_ERR_PORT);
    EXPECT_FALSE(link.is_open());
    EXPECT_EQ(link.open(""), VUP_ERR_PORT);
}

TEST_F(SerialLinkTest, ExchangeSendsPiecesOfAtMost128Bytes) {
    SerialLink& link = open_link();
    terminal.raw = true;
    terminal.raw_reads = {{0x06}};
    std::vector<std::uint8_t> request(300, 0x55);
    std::uint8_t answer = 0;
    EXPECT_EQ(link.exchange(request, {&answer, 1}, 1000), VUP_OK);
    EXPECT_EQ(terminal.write_sizes, (std::vector<std::size_t>{128, 128, 44}));
    EXPECT_EQ(answer, 0x06);
    // The exchange reads with the "return as soon as a byte is there" timing.
    EXPECT_EQ(terminal.read_multipliers.back(), platform::kMaxDword);
}

TEST_F(SerialLinkTest, ExchangeWithNothingToSendGives200WithoutTouchingTheLine) {
    SerialLink& link = open_link();
    std::uint8_t answer = 0;
    EXPECT_EQ(link.exchange({}, {&answer, 1}, 1000), VUP_ERR_GENERAL);
    EXPECT_TRUE(terminal.write_sizes.empty());
    EXPECT_TRUE(terminal.read_multipliers.empty());
    EXPECT_TRUE(log.contains("TransmitData during Exchange failed"));
}

TEST_F(SerialLinkTest, ReceiveCountsReadAttemptsBySecondsOfTheLimit) {
    SerialLink& link = open_link();
    terminal.raw = true;
    std::uint8_t byte = 0;
    EXPECT_EQ(link.receive({&byte, 1}, 0), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(terminal.silent_reads, 1);
    EXPECT_EQ(link.receive({&byte, 1}, 10000), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(terminal.silent_reads, 11);
    // An answer may take as long again as the request needs on the line: 65536 bytes at
    // 57600 baud are 11 more read attempts.
    const std::vector<std::uint8_t> block(65536, 0x33);
    EXPECT_EQ(link.exchange(block, {&byte, 1}, 10000), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(terminal.silent_reads, 11 + 21);
}

TEST_F(SerialLinkTest, APortBusyForAMomentIsTriedAgain) {
    int refusals = 2;
    SerialLink link([&](std::string_view path) -> std::unique_ptr<platform::SerialPort> {
        if (refusals-- > 0) {
            platform::set_last_error(platform::kErrorAccessDenied);
            return nullptr;
        }
        return terminal.open(path);
    });
    EXPECT_EQ(link.open("COM7"), VUP_OK);
    refusals = 4;
    EXPECT_EQ(link.open("COM7"), VUP_ERR_PORT);
    EXPECT_EQ(refusals, 0);
}

TEST_F(SerialLinkTest, ShortReceiveGives200AndLogsTheCounts) {
    SerialLink& link = open_link();
    terminal.raw = true;
    terminal.raw_reads = {{1, 2}};
    std::uint8_t buffer[3] = {};
    EXPECT_EQ(link.receive(buffer, 3000), VUP_ERR_GENERAL);
    EXPECT_TRUE(log.contains("ReceiveData failed - dwReceived:0 != wRxLen:3"));
    // Pieces arriving over several attempts still make a whole answer.
    terminal.raw_reads = {{1}, {2}, {3}};
    EXPECT_EQ(link.receive(buffer, 3000), VUP_OK);
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(SerialLinkTest, AbortEndsAReceiveAfterTheCurrentAttempt) {
    SerialLink& link = open_link();
    terminal.raw = true;
    int abort_flag = 1;
    link.set_abort_flag(AbortFlag(&abort_flag));
    std::uint8_t byte = 0;
    EXPECT_EQ(link.receive({&byte, 1}, 10000), VUP_ERR_ABORTED);
    EXPECT_EQ(terminal.silent_reads, 1);
    // An exchange stops after the first piece.
    std::vector<std::uint8_t> request(300, 1);
    EXPECT_EQ(link.exchange(request, {&byte, 1}, 1000), VUP_ERR_ABORTED);
    EXPECT_EQ(terminal.write_sizes.size(), 1u);
}

TEST_F(SerialLinkTest, LostDeviceEndsTransmitAndReceive) {
    SerialLink& link = open_link();
    terminal.connected = false;
    std::uint8_t byte = 7;
    EXPECT_EQ(link.transmit({&byte, 1}), VUP_ERR_ABORTED);
    EXPECT_EQ(link.receive({&byte, 1}, 5000), VUP_ERR_NO_ANSWER);
    EXPECT_TRUE(log.contains("GetOverlappedResult in ReceiveData failed"));
}

TEST_F(SerialLinkTest, ManufacturerStatusReadsTheAnswerByItsLength) {
    SerialLink& link = open_link();
    StatusResponse status;
    ASSERT_EQ(link.manufacturer_status(status), VUP_OK);
    EXPECT_EQ(status.length(), 63u);
    EXPECT_EQ(status.firmware_version(), "1.2.3");
    EXPECT_EQ(terminal.manufacturer_queries, 1);
    EXPECT_TRUE(log.contains("VUPPorta("));
    EXPECT_TRUE(log.contains("): Obtaining device status"));
}

TEST_F(SerialLinkTest, BadStatusWordTwiceGives756AfterTwoQueriesAndTwoPurges) {
    SerialLink& link = open_link();
    terminal.status_answers = {{0x01, 0x02, 0x6A, 0x82}};
    StatusResponse status;
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_STATUS_WORD);
    EXPECT_EQ(terminal.manufacturer_queries, 2);
    EXPECT_EQ(terminal.purges, 2);
    // A good second answer is taken.
    terminal.status_answers = {{0x6A, 0x82}, testing::status_information()};
    terminal.manufacturer_queries = 0;
    EXPECT_EQ(link.manufacturer_status(status), VUP_OK);
    EXPECT_EQ(terminal.manufacturer_queries, 2);
}

TEST_F(SerialLinkTest, GarbledStatusAnswersEndWithACode) {
    SerialLink& link = open_link();
    terminal.raw = true;
    StatusResponse status;
    // Header promises 200 bytes, 5 come.
    terminal.raw_reads = {{0x21, 0x40, 200}, {1, 2, 3, 4, 5}};
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_GENERAL);
    // LEN 0: no status word at all.
    terminal.raw_reads = {{0x21, 0x40, 0}, {0x61}, {0x21, 0x40, 0}, {0x61}};
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_STATUS_WORD);
    // LEN 255, the largest block.
    std::vector<std::uint8_t> big(256, 0);
    big[253] = 0x90;
    terminal.raw_reads = {{0x21, 0x40, 255}, big};
    EXPECT_EQ(link.manufacturer_status(status), VUP_OK);
    EXPECT_EQ(status.length(), 255u);
    // Silence.
    terminal.raw_reads.clear();
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_NO_ANSWER);
}

TEST_F(SerialLinkTest, ShortStatusWantsAnAnswerStartingWith9000) {
    SerialLink& link = open_link();
    EXPECT_EQ(link.short_status(), VUP_OK);
    terminal.short_status_ok = false;
    EXPECT_EQ(link.short_status(), VUP_ERR_SHORT_STATUS);
    terminal.raw = true;
    EXPECT_EQ(link.short_status(), VUP_ERR_SHORT_STATUS);
}

TEST_F(SerialLinkTest, BreakPulseSetsAndClearsTheBreak) {
    SerialLink& link = open_link();
    EXPECT_TRUE(link.break_pulse());
    EXPECT_EQ(terminal.breaks, 1);
    terminal.break_refused = true;
    EXPECT_FALSE(link.break_pulse());
    link.close();
    EXPECT_FALSE(link.break_pulse());
}

} // namespace
} // namespace vupporta
