// The terminal link and the device monitor against the simulated terminal, in-process.
#include "ctapi_test_support.h"
#include "device_monitor.h"
#include "platform/clock.h"
#include "port_search.h"
#include "sim/terminal_simulator.h"
#include "terminal_link.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace brantel {
namespace {

const bool environment_ready = (ctapi_test::prepare_environment(), true);

using Clock = std::chrono::steady_clock;

std::unique_ptr<sim::TerminalSimulator> start_terminal(sim::SimulatorOptions options = {}) {
    std::string error;
    auto terminal = sim::TerminalSimulator::start(options, &error);
    EXPECT_TRUE(terminal) << error;
    return terminal;
}

template <typename Condition> bool eventually(Condition condition, int ms = 3000) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class TerminalLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(environment_ready);
        link.set_os_family(OsFamily::Windows2000Up);
    }
    void TearDown() override { platform::set_time_scale_percent(0); }
    TerminalLink link;
};

TEST(PortPaths, AreFormedAsWindowsDevicePaths) {
    EXPECT_EQ(port_path_of("COM7"), "\\\\.\\COM7");
    EXPECT_EQ(com_port_path(65535), "\\\\.\\COM65535");
    EXPECT_EQ(port_path_of(std::string(60, 'X')).size(), kPortPathBufferSize - 1);
    EXPECT_EQ(query_os_family(), OsFamily::Other); // Linux is no Windows
}

TEST_F(TerminalLinkTest, SearchOpensTheTerminalAndSavesItsPath) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    EXPECT_EQ(link.saved_path(), port_path_of(terminal->port_name()));
    EXPECT_TRUE(link.is_open());
    EXPECT_TRUE(link.saved_port_present());
    link.close();
    EXPECT_FALSE(link.is_open());
}

TEST_F(TerminalLinkTest, PortNamesOfEightCharactersAreSkipped) {
    sim::SimulatorOptions options;
    options.port_name = "COM12345";
    auto too_long = start_terminal(options);
    ASSERT_TRUE(too_long);
    EXPECT_EQ(link.search_and_open(), OpenResult::Failure);
    options.port_name = "COM1234";
    options.serial = "SIM0002";
    auto fits = start_terminal(options);
    ASSERT_TRUE(fits);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    EXPECT_EQ(link.saved_path(), "\\\\.\\COM1234");
}

TEST_F(TerminalLinkTest, Windows9xLooksForTheMarkedModem) {
    sim::SimulatorOptions options;
    options.announce_as = sim::AnnounceAs::Modem9x;
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    EXPECT_EQ(link.search_and_open(), OpenResult::Failure); // not among the USB ports
    link.set_os_family(OsFamily::Windows9x);
    EXPECT_EQ(link.search_and_open(), OpenResult::Success);
    EXPECT_TRUE(link.saved_port_present());
}

TEST_F(TerminalLinkTest, SilenceEndsAReadAfterTheTimeout) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    std::array<std::uint8_t, 3> header{};
    const auto started = Clock::now();
    EXPECT_FALSE(link.read_exactly(header));
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2)); // 4 s scaled down
    EXPECT_TRUE(link.is_open());
}

TEST_F(TerminalLinkTest, LossEndsAPendingReadAndTheCallerCloses) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    platform::set_time_scale_percent(100); // a read would wait 4 s
    std::thread monitor([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        link.mark_lost();
    });
    std::array<std::uint8_t, 3> header{};
    const auto started = Clock::now();
    EXPECT_FALSE(link.read_exactly(header));
    monitor.join();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(link.link_lost());
    EXPECT_TRUE(link.removal_event().is_signalled());
    EXPECT_FALSE(link.is_open());
    BlockBuffer block{}, answer{};
    EXPECT_FALSE(link.transceive(block, answer, 1));
}

TEST_F(TerminalLinkTest, ReconnectReopensTheSavedPort) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    EXPECT_FALSE(link.reconnect()); // nothing was removed

    ASSERT_TRUE(terminal->unplug());
    EXPECT_FALSE(link.saved_port_present());
    link.mark_lost();
    EXPECT_FALSE(link.reconnect()); // still unplugged
    ASSERT_TRUE(terminal->replug());
    ASSERT_TRUE(link.reconnect());
    EXPECT_FALSE(link.link_lost());
    EXPECT_FALSE(link.removal_event().is_signalled());
    EXPECT_TRUE(link.is_open());
}

TEST_F(TerminalLinkTest, MonitorMarksTheOpenTerminalLostWhenItsPortDisappears) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    std::atomic<std::int32_t> current{0};
    DeviceMonitor monitor(link, current);
    ASSERT_TRUE(monitor.start());
    ASSERT_TRUE(terminal->unplug());
    EXPECT_TRUE(eventually([&] { return link.link_lost(); }));
    EXPECT_TRUE(link.removal_event().is_signalled());
    EXPECT_FALSE(link.is_open());
    monitor.stop();
    EXPECT_EQ(current.load(), kNoTerminal);
    EXPECT_FALSE(link.link_lost());
}

TEST_F(TerminalLinkTest, MonitorIgnoresChangesWhileNoTerminalIsOpenOrThePortStays) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    std::atomic<std::int32_t> current{kNoTerminal};
    DeviceMonitor monitor(link, current);
    platform::DeviceEvent removal{platform::DeviceEvent::Kind::Removal, "", ""};
    monitor.on_device_change(removal); // the port is still there
    EXPECT_FALSE(link.link_lost());
    ASSERT_TRUE(terminal->unplug());
    monitor.on_device_change(removal); // gone, but no terminal is open
    EXPECT_FALSE(link.link_lost());

    current.store(5);
    link.set_os_family(OsFamily::Windows9x);
    monitor.on_device_change({platform::DeviceEvent::Kind::Arrival, "", ""});
    EXPECT_FALSE(link.link_lost()); // Windows 9x looks at removals only
    monitor.on_device_change(removal);
    EXPECT_TRUE(link.link_lost());
}

} // namespace
} // namespace brantel
