// The terminal's side of the firmware download, driven through the state machine.
#include "tests/sim/terminal_driver.h"

#include <gtest/gtest.h>

namespace sim::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

TerminalConfig sized(std::uint32_t image_size) {
    TerminalConfig config;
    config.image_size = image_size;
    return config;
}

// Sends an image the way the plug-in does: fixed blocks while they fit, then the rest in
// blocks of up to 65536 bytes, each answered before the next. Returns the answers.
Bytes send_image(TerminalDriver& driver, const Bytes& image, bool firmware) {
    const std::vector<std::size_t> fixed =
        firmware ? std::vector<std::size_t>{256, 256, 261} : std::vector<std::size_t>{256, 256};
    Bytes answers;
    std::size_t sent = 0;
    std::size_t index = 0;
    while (sent < image.size()) {
        std::size_t size =
            index < fixed.size() ? fixed[index] : std::min<std::size_t>(65536, image.size() - sent);
        if (size > image.size() - sent) {
            break;
        }
        const auto answer =
            driver.send(Bytes(image.begin() + static_cast<std::ptrdiff_t>(sent),
                              image.begin() + static_cast<std::ptrdiff_t>(sent + size)));
        answers.insert(answers.end(), answer.begin(), answer.end());
        sent += size;
        ++index;
    }
    return answers;
}

TEST(TerminalDownload, TwoBreakPulsesAreAnsweredWithAck) {
    TerminalDriver driver;
    EXPECT_TRUE(driver.break_pulse().empty());
    EXPECT_EQ(driver.break_pulse(), Bytes{kAck});
}

TEST(TerminalDownload, DataBetweenPulsesStartsTheCountAgain) {
    TerminalDriver driver;
    driver.break_pulse();
    driver.send({0x12}); // part of a block: the pulses are not a pair
    EXPECT_TRUE(driver.break_pulse().empty());
    EXPECT_EQ(driver.break_pulse(), Bytes{kAck});
}

TEST(TerminalDownload, FirmwareImageOf1000BytesInBlocksOf256_256_261_227) {
    TerminalDriver driver(sized(1000));
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    const Bytes image = pattern(1000);
    const Bytes answers = send_image(driver, image, true);
    EXPECT_EQ(answers, (Bytes{kAck, kAck, kAck, kAck, kAck})); // four blocks and the image
    EXPECT_EQ(driver.data_block_sizes(), (std::vector<std::uint32_t>{256, 256, 261, 227}));
    EXPECT_EQ(driver.terminal.received_image(), image);
    EXPECT_EQ(driver.terminal.downloads_completed(), 1u);
}

TEST(TerminalDownload, ApplicationImageOf70000BytesWithoutKnownSize) {
    TerminalDriver driver; // the end of the image is found by the pause after the last block
    ASSERT_TRUE(driver.enter_download(kApplicationUpgradeRequest));
    const Bytes image = pattern(70000, 7);
    const Bytes answers = send_image(driver, image, false);
    EXPECT_EQ(answers, (Bytes{kAck, kAck, kAck})); // the short last block waits for the pause
    EXPECT_TRUE(driver.wait(milliseconds(50)).empty());
    EXPECT_EQ(driver.wait(milliseconds(100)), (Bytes{kAck, kAck}));
    EXPECT_EQ(driver.data_block_sizes(), (std::vector<std::uint32_t>{256, 256, 65536, 3952}));
    EXPECT_EQ(driver.terminal.received_image(), image);
}

TEST(TerminalDownload, ImageEndingOnAFullBlockGetsTheFinalAckAfterALongerPause) {
    TerminalDriver driver;
    ASSERT_TRUE(driver.enter_download(kApplicationUpgradeRequest));
    const Bytes image = pattern(512);
    EXPECT_EQ(send_image(driver, image, false), (Bytes{kAck, kAck}));
    EXPECT_TRUE(driver.wait(milliseconds(150)).empty()); // the host may still be busy
    EXPECT_EQ(driver.wait(milliseconds(200)), Bytes{kAck});
    EXPECT_EQ(driver.terminal.received_image(), image);
}

TEST(TerminalDownload, ImageShorterThanTheFixedBlocksStopsWhereTheSenderStops) {
    TerminalDriver driver(sized(600));
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    const Bytes image = pattern(600);
    // The sender stops after 512 bytes: the 261-byte block does not fit.
    EXPECT_EQ(send_image(driver, image, true), (Bytes{kAck, kAck, kAck}));
    EXPECT_EQ(driver.terminal.received_image(), Bytes(image.begin(), image.begin() + 512));
}

TEST(TerminalDownload, RestartRequestAfterTheFirmwareRequest) {
    TerminalConfig config = sized(773);
    config.restart_requests = 1;
    TerminalDriver driver(config);
    driver.break_pulse();
    ASSERT_EQ(driver.break_pulse(), Bytes{kAck});
    EXPECT_EQ(driver.send({kFirmwareUpgradeRequest}), (Bytes{kAck, kRestartRequest}));
    // The host closes the port, opens it again and repeats the handshake.
    driver.terminal.disconnected();
    driver.terminal.connected();
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    const Bytes image = pattern(773);
    EXPECT_EQ(send_image(driver, image, true), (Bytes{kAck, kAck, kAck, kAck}));
    EXPECT_EQ(driver.terminal.received_image(), image);
}

TEST(TerminalDownload, ApplicationRequestNeverGetsARestartRequest) {
    TerminalConfig config;
    config.restart_requests = 3;
    TerminalDriver driver(config);
    driver.break_pulse();
    driver.break_pulse();
    EXPECT_EQ(driver.send({kApplicationUpgradeRequest}), Bytes{kAck});
}

TEST(TerminalDownload, UnknownUpgradeRequestIsRefused) {
    TerminalDriver driver;
    driver.break_pulse();
    driver.break_pulse();
    EXPECT_EQ(driver.send({'7'}), Bytes{kNak});
    EXPECT_EQ(driver.send({kApplicationUpgradeRequest}), Bytes{kAck});
}

TEST(TerminalDownload, NakForBlockKEndsTheDownloadAndKeepsThePartialImage) {
    Faults faults;
    faults.wrong_answer_data_block = 2;
    TerminalDriver driver(sized(1000), {}, faults);
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    const Bytes image = pattern(1000);
    EXPECT_EQ(driver.send(Bytes(image.begin(), image.begin() + 256)), Bytes{kAck});
    EXPECT_EQ(driver.send(Bytes(image.begin() + 256, image.begin() + 512)), Bytes{kNak});
    EXPECT_EQ(driver.terminal.downloads_completed(), 0u);
    EXPECT_EQ(driver.terminal.partial_image().size(), 512u);
    EXPECT_TRUE(driver.wait(milliseconds(1000)).empty()); // no final acknowledgement
}

TEST(TerminalDownload, SilenceSwallowsTheNextRequests) {
    Faults faults;
    faults.silent_requests = 2;
    TerminalDriver driver({}, {}, faults);
    driver.break_pulse();
    EXPECT_TRUE(driver.break_pulse().empty()); // first request: no answer
    driver.break_pulse();
    EXPECT_TRUE(driver.break_pulse().empty()); // second request: no answer
    driver.break_pulse();
    EXPECT_EQ(driver.break_pulse(), Bytes{kAck});
}

TEST(TerminalDownload, WrongAnswersToTheHandshake) {
    Faults faults;
    faults.wrong_answer_mode_request = 1;
    faults.wrong_answer_byte = 0x42;
    TerminalDriver driver({}, {}, faults);
    driver.break_pulse();
    EXPECT_EQ(driver.break_pulse(), Bytes{0x42});
    Faults upgrade;
    upgrade.wrong_answer_upgrade_request = 1;
    driver.terminal.set_faults(upgrade);
    driver.break_pulse();
    EXPECT_EQ(driver.break_pulse(), Bytes{kAck});
    EXPECT_EQ(driver.send({kFirmwareUpgradeRequest}), Bytes{kNak});
}

TEST(TerminalDownload, WithheldFinalAcknowledgement) {
    Faults faults;
    faults.withhold_final_ack = 1;
    TerminalDriver driver(sized(512), {}, faults);
    ASSERT_TRUE(driver.enter_download(kApplicationUpgradeRequest));
    EXPECT_EQ(send_image(driver, pattern(512), false), (Bytes{kAck, kAck}));
}

TEST(TerminalDownload, UnplugAfterNDataBlocksFollowsTheirAcknowledgement) {
    Faults faults;
    faults.unplug_after_data_blocks = 3;
    TerminalDriver driver(sized(1000), {}, faults);
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    const Bytes image = pattern(1000);
    EXPECT_EQ(driver.send(Bytes(image.begin(), image.begin() + 512)), (Bytes{kAck, kAck}));
    EXPECT_FALSE(driver.unplug_requested);
    EXPECT_EQ(driver.send(Bytes(image.begin() + 512, image.begin() + 773)), Bytes{kAck});
    EXPECT_TRUE(driver.unplug_requested);
}

TEST(TerminalDownload, UnplugDuringTheHandshake) {
    Faults faults;
    faults.unplug_during_handshake = true;
    TerminalDriver driver({}, {}, faults);
    driver.break_pulse();
    EXPECT_TRUE(driver.break_pulse().empty());
    EXPECT_TRUE(driver.unplug_requested);
}

TEST(TerminalDownload, DisconnectAbandonsTheDownload) {
    TerminalDriver driver(sized(1000));
    ASSERT_TRUE(driver.enter_download(kFirmwareUpgradeRequest));
    driver.send(pattern(256));
    driver.terminal.disconnected();
    driver.terminal.connected();
    // Back in block mode: a status query is answered as a block.
    const auto answer = driver.send_block(0x12, 0x40, {0x20, 0x13, 0x00, 0x46, 0x00});
    EXPECT_EQ(parse_blocks(answer).size(), 1u);
    EXPECT_EQ(driver.terminal.partial_image().size(), 256u);
}

TEST(TerminalDownload, BlockSizeTable) {
    EXPECT_EQ(data_block_size(true, 0, 0, 0), 256u);
    EXPECT_EQ(data_block_size(true, 2, 512, 0), 261u);
    EXPECT_EQ(data_block_size(true, 3, 773, 0), kRestBlockSize);
    EXPECT_EQ(data_block_size(false, 2, 512, 70000), 65536u);
    EXPECT_EQ(data_block_size(false, 3, 66048, 70000), 3952u);
    EXPECT_EQ(data_block_size(false, 1, 256, 300), 0u); // the fixed block does not fit
    EXPECT_EQ(data_block_size(true, 4, 1000, 1000), 0u);
}

} // namespace
} // namespace sim::test
