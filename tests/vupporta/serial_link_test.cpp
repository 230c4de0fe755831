// The serial link's rules: line settings, pieces of 128 bytes, read attempts counted by the
// time limit, short and aborted receives, and the status queries' retry.
#include "scripted_port.h"
#include "serial_link.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <vup_plugin.h>

namespace vupporta {
namespace {

using testing::answer_block;

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::prepare_fast_environment();
        script.line.baud = 9600;
        script.line.parity = platform::Parity::Even;
        script.line.binary = false;
        ASSERT_EQ(link.open("COM7"), VUP_OK);
    }

    testing::PortScript script;
    std::string opened_path;
    SerialLink link{[this](std::string_view path) {
        opened_path = path;
        return script.open();
    }};
    testing::LogCapture log;
    std::uint8_t byte = 0;
};

TEST_F(SerialLinkTest, OpensTheDevicePathAt57600Baud8N1) {
    EXPECT_EQ(opened_path, "\\\\.\\COM7");
    EXPECT_EQ(script.line.baud, 57600u);
    EXPECT_EQ(script.line.data_bits, 8);
    EXPECT_EQ(script.line.parity, platform::Parity::None);
    EXPECT_EQ(script.line.stop_bits, platform::StopBits::One);
    EXPECT_TRUE(script.line.binary);
    script.connected = false;
    EXPECT_EQ(link.open("COM9"), VUP_ERR_PORT);
    EXPECT_FALSE(link.is_open());
    EXPECT_FALSE(link.break_pulse());
}

TEST_F(SerialLinkTest, ExchangeSendsPiecesOfAtMost128BytesThenReadsAtOnce) {
    script.reads = {{0x06}};
    const std::vector<std::uint8_t> request(300, 0x55);
    EXPECT_EQ(link.exchange(request, {&byte, 1}, 1000), VUP_OK);
    EXPECT_EQ(script.write_sizes, (std::vector<std::size_t>{128, 128, 44}));
    EXPECT_EQ(script.read_multipliers, (std::vector<std::uint32_t>{platform::kMaxDword}));
    // Nothing to send: 200, the line untouched.
    EXPECT_EQ(link.exchange({}, {&byte, 1}, 1000), VUP_ERR_GENERAL);
    EXPECT_EQ(script.write_sizes.size(), 3u);
}

TEST_F(SerialLinkTest, ReceiveSpendsOneReadAttemptPerSecondOfItsLimit) {
    EXPECT_EQ(link.receive({&byte, 1}, 0), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(script.silent_reads, 1);
    EXPECT_EQ(link.receive({&byte, 1}, 10000), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(script.silent_reads, 11);
    // Pieces over several attempts make a whole answer.
    std::uint8_t answer[3] = {};
    script.reads = {{1}, {2}, {3}};
    EXPECT_EQ(link.receive(answer, 3000), VUP_OK);
    EXPECT_EQ(answer[2], 3);
}

TEST_F(SerialLinkTest, ShortLostAndAbortedReceives) {
    std::uint8_t answer[3] = {};
    script.reads = {{1, 2}};
    EXPECT_EQ(link.receive(answer, 3000), VUP_ERR_GENERAL);
    EXPECT_TRUE(log.contains("ReceiveData failed - dwReceived:0 != wRxLen:3"));

    int abort_flag = 1;
    link.set_abort_flag(AbortFlag(&abort_flag));
    const int silent_before = script.silent_reads;
    EXPECT_EQ(link.receive({&byte, 1}, 10000), VUP_ERR_ABORTED);
    EXPECT_EQ(script.silent_reads, silent_before + 1);
    const std::vector<std::uint8_t> request(300, 1);
    EXPECT_EQ(link.exchange(request, {&byte, 1}, 1000), VUP_ERR_ABORTED);
    EXPECT_EQ(script.write_sizes.size(), 1u);
    link.set_abort_flag({});

    script.connected = false;
    EXPECT_EQ(link.transmit({&byte, 1}), VUP_ERR_ABORTED);
    EXPECT_EQ(link.receive({&byte, 1}, 5000), VUP_ERR_NO_ANSWER);
    EXPECT_TRUE(log.contains("GetOverlappedResult in ReceiveData failed"));
}

TEST_F(SerialLinkTest, ManufacturerStatusRetriesOnceOnABadStatusWord) {
    StatusResponse status;
    script.reads = {answer_block({1, 0x6A, 0x82}), answer_block({1, 0x6A, 0x82})};
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_STATUS_WORD);
    EXPECT_EQ(script.write_sizes, (std::vector<std::size_t>{9, 9}));
    EXPECT_EQ(script.purges, 2);
    script.reads = {answer_block({0x6A, 0x82}), answer_block({7, 0x90, 0x00})};
    EXPECT_EQ(link.manufacturer_status(status), VUP_OK);
    EXPECT_EQ(status.byte(0), 7);
    EXPECT_TRUE(log.contains("VUPPorta("));
}

TEST_F(SerialLinkTest, GarbledStatusAnswersEndWithACode) {
    StatusResponse status;
    script.reads = {{0x21, 0x40, 200}, {1, 2, 3, 4, 5}}; // LEN promises more than comes
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_GENERAL);
    script.reads = {answer_block({}), answer_block({})}; // no status word at all
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_STATUS_WORD);
    std::vector<std::uint8_t> longest(255, 0xAA);
    longest[253] = 0x90;
    longest[254] = 0x00;
    script.reads = {answer_block(longest)};
    EXPECT_EQ(link.manufacturer_status(status), VUP_OK);
    EXPECT_EQ(status.length(), 255u);
    EXPECT_EQ(link.manufacturer_status(status), VUP_ERR_NO_ANSWER);

    script.reads = {answer_block({0x90, 0x00})};
    EXPECT_EQ(link.short_status(), VUP_OK);
    script.reads = {answer_block({0x00, 0x90, 0x00})};
    EXPECT_EQ(link.short_status(), VUP_ERR_SHORT_STATUS);
    EXPECT_EQ(link.short_status(), VUP_ERR_SHORT_STATUS);
}

} // namespace
} // namespace vupporta
