// The suite's own serial port client (platform::SerialPort over RFC 2217) against the
// simulator: what the plug-in and the CT-API library rely on when they talk to it.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/serial/serial_port.h"
#include "sim/terminal.h"
#include "sim/terminal_simulator.h"
#include "tests/common/temp_dir.h"
#include "tests/sim/terminal_driver.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace sim::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes kGetStatusBlock{0x12, 0x40, 0x05, 0x20, 0x13, 0x00, 0x46, 0x00, 0x22};

class PlatformPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = temp_.path() / "devices"; // made by the simulator
        options_.devices_dir = dir_.string();
        platform::set_time_scale_percent(100);
    }
    void TearDown() override {
        port_.reset();
        simulator_.reset();
        platform::set_time_scale_percent(0);
    }
    platform::SerialPort& open() {
        std::string error;
        simulator_ = TerminalSimulator::start(options_, &error);
        EXPECT_TRUE(simulator_) << error;
        port_ = platform::SerialPort::open(simulator_->address());
        EXPECT_TRUE(port_) << platform::last_error();
        platform::LineSettings line;
        line.baud = 57600;
        line.dtr = platform::DtrControl::Disable;
        EXPECT_TRUE(port_->set_line_settings(line));
        // A read returns as soon as a byte is there, or after 500 ms with none.
        EXPECT_TRUE(port_->set_timeouts({platform::kMaxDword, platform::kMaxDword, 500, 0, 0}));
        return *port_;
    }
    // Reads until `count` bytes are there or a read returns none.
    Bytes read(std::size_t count) {
        Bytes all;
        Bytes buffer(count);
        while (all.size() < count) {
            const auto n = port_->read(std::span(buffer).first(count - all.size()));
            if (!n || *n == 0) {
                break;
            }
            all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n));
        }
        return all;
    }
    bool write(const Bytes& bytes) {
        const auto n = port_->write(bytes);
        return n && *n == bytes.size();
    }

    morlin_test::TempDir temp_;
    fs::path dir_;
    SimulatorOptions options_;
    std::unique_ptr<TerminalSimulator> simulator_;
    std::unique_ptr<platform::SerialPort> port_;
};

TEST_F(PlatformPortTest, StatusQueryAndLineSettingsArrive) {
    open();
    ASSERT_TRUE(write(kGetStatusBlock));
    const Bytes answer = read(67);
    ASSERT_EQ(answer.size(), 67u);
    EXPECT_EQ(answer[0], 0x21);
    bool saw_baud = false;
    for (const auto& event : simulator_->line_log()) {
        saw_baud =
            saw_baud || (event.kind == LineEvent::Kind::LineSettings && event.value == 57600);
    }
    EXPECT_TRUE(saw_baud);
}

TEST_F(PlatformPortTest, SecondOpenIsBusy) {
    open();
    EXPECT_FALSE(platform::SerialPort::open(simulator_->address()));
    EXPECT_EQ(platform::last_error(), platform::kErrorAccessDenied);
}

TEST_F(PlatformPortTest, DownloadWithBreakPulses) {
    const Bytes image = pattern(70000, 11);
    options_.image_size = static_cast<std::uint32_t>(image.size());
    open();
    for (int pulse = 0; pulse < 2; ++pulse) {
        ASSERT_TRUE(port_->set_break(true));
        ASSERT_TRUE(port_->set_break(false));
    }
    EXPECT_EQ(read(1), Bytes{kAck});
    ASSERT_TRUE(write({kApplicationUpgradeRequest}));
    EXPECT_EQ(read(1), Bytes{kAck});
    std::size_t sent = 0;
    for (std::size_t size :
         {std::size_t{256}, std::size_t{256}, std::size_t{65536}, std::size_t{3952}}) {
        ASSERT_TRUE(write(Bytes(image.begin() + static_cast<std::ptrdiff_t>(sent),
                                image.begin() + static_cast<std::ptrdiff_t>(sent + size))));
        EXPECT_EQ(read(1), Bytes{kAck}) << "block at " << sent;
        sent += size;
    }
    EXPECT_EQ(read(1), Bytes{kAck});
    EXPECT_EQ(simulator_->received_image(), image);
}

TEST_F(PlatformPortTest, PurgeDropsAnAnswerNotYetSent) {
    options_.response_delay_ms = 100;
    open();
    ASSERT_TRUE(write(kGetStatusBlock));
    ASSERT_TRUE(port_->purge(platform::kPurgeRxClear | platform::kPurgeTxClear));
    EXPECT_TRUE(read(67).empty());
    ASSERT_TRUE(write(kGetStatusBlock));
    EXPECT_EQ(read(67).size(), 67u);
}

TEST_F(PlatformPortTest, UnplugEndsTheLink) {
    open();
    ASSERT_TRUE(simulator_->unplug());
    Bytes buffer(8);
    const auto n = port_->read(buffer);
    EXPECT_FALSE(n && *n > 0);
    EXPECT_FALSE(port_->connected());
}

} // namespace
} // namespace sim::test
