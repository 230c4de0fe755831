// The terminal link and the device monitor against the simulated terminal, in-process.
#include "ctapi_library.h"
#include "ctapi_test_support.h"
#include "device_monitor.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "port_search.h"
#include "sim/announcement.h"
#include "sim/terminal_simulator.h"
#include "terminal_link.h"
#include "tests/common/gate.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
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

TEST_F(TerminalLinkTest, ReconnectComesAfterTheWatchersLastDecision) {
    // The watcher has found the terminal's port gone and is held before it marks the link
    // lost; meanwhile the caller's read notices the loss too, the terminal comes back and the
    // caller reconnects. A reconnect taken before the watcher's decision is acted on would
    // be cancelled by it: it must not report success until the watcher has caught up.
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    std::atomic<std::int32_t> current{0};
    DeviceMonitor monitor(link, current);
    morlin_test::Gate decided, act, caught_up;
    std::atomic<bool> loss_decided{false};
    monitor.set_decision_hook([&](bool lost) {
        if (lost) {
            loss_decided.store(true);
            decided.open();
            act.wait();
        } else if (loss_decided.load() && link.saved_port_present()) {
            caught_up.open(); // the watcher has heard of the terminal's return
        }
    });
    ASSERT_TRUE(monitor.start());
    struct ReleaseWatcher {
        morlin_test::Gate& act;
        ~ReleaseWatcher() { act.open(); } // also when an assertion ends the test early
    } release_watcher{act};

    ASSERT_TRUE(terminal->unplug());
    decided.wait();
    std::array<std::uint8_t, 3> header{};
    EXPECT_FALSE(link.read_exactly(header));
    ASSERT_TRUE(link.removal_event().is_signalled());
    ASSERT_TRUE(terminal->replug());
    const bool reconnected_early = link.reconnect();
    act.open();
    caught_up.wait();
    // What the early reconnect reported must hold now that the watcher has acted: a port it
    // opened is still open, or it said no and a reconnect now succeeds.
    if (!reconnected_early) {
        EXPECT_TRUE(link.reconnect());
    }
    EXPECT_TRUE(link.is_open());
    EXPECT_FALSE(link.link_lost());
    monitor.stop();
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

TEST_F(TerminalLinkTest, RemovalNoticedByTheWatcherEndsAWaitingCtDataAtOnce) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    CtApiLibrary library;
    ASSERT_EQ(library.init(0, 0), kOk);
    sim::Faults faults;
    faults.silent_requests = 1;
    terminal->set_faults(faults);
    platform::set_time_scale_percent(100); // unanswered, CT_data would wait 4 s

    // Only the announcement goes: the connection stays, so nothing but the watcher can tell.
    std::atomic<Clock::rep> removed_at{0};
    std::thread remover([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        removed_at.store(Clock::now().time_since_epoch().count());
        EXPECT_TRUE(sim::remove_announcement(terminal->announcement_path()));
    });
    std::uint8_t dad = 1, sad = 2;
    std::uint16_t lenr = 100;
    std::uint8_t command[] = {0x20, 0x13, 0x00, 0x46, 0x00};
    std::array<std::uint8_t, 100> answer{};
    EXPECT_EQ(library.data(0, &dad, &sad, 5, command, &lenr, answer.data()), kErrTrans);
    const auto ended = Clock::now();
    remover.join();
    EXPECT_LT(ended - Clock::time_point(Clock::duration(removed_at.load())),
              std::chrono::milliseconds(100));
    platform::set_time_scale_percent(0);
    lenr = 100;
    EXPECT_EQ(library.data(0, &dad, &sad, 5, command, &lenr, answer.data()), kErrTrans); // lost
    EXPECT_EQ(library.close(0), kOk);
}

TEST_F(TerminalLinkTest, CancelJustBeforeAReadStillEndsIt) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    auto port = platform::SerialPort::open(terminal->address());
    ASSERT_TRUE(port);
    platform::set_time_scale_percent(100);
    ASSERT_TRUE(port->set_timeouts({kReadIntervalMs, 0, kReadTotalConstantMs, 0, 0}));
    port->cancel(); // the monitor's decision, before the caller's read has begun
    std::array<std::uint8_t, 3> header{};
    const auto started = Clock::now();
    EXPECT_FALSE(port->read(header));
    EXPECT_EQ(platform::last_error(), platform::kErrorOperationAborted);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
    // Seen once, the cancel is gone.
    ASSERT_TRUE(port->set_timeouts({platform::kMaxDword, 0, 0, 0, 0}));
    EXPECT_EQ(port->read(header), 0u);
}

TEST_F(TerminalLinkTest, WritesEndWhenTheLineTakesNothing) {
    // A pseudo-terminal whose other side never reads: its buffer fills and stays full.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ASSERT_EQ(link.open(::ptsname(master)), OpenResult::Success);
    const std::vector<std::uint8_t> block(258, 0x55);
    const auto started = Clock::now();
    int written = 0;
    while (link.write(block) && written < 100000)
        ++written;
    EXPECT_LT(written, 100000);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(platform::last_error(), platform::kErrorTimeout);
    link.close();
    ::close(master);
}

TEST_F(TerminalLinkTest, PresenceCheckCostsOneLookUpWhateverTheDevices) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    const auto others =
        sim::announce_unserved_terminals(ctapi_test::devices_dir().string(), "OTHER", 50);
    for (const auto& other : others)
        ASSERT_FALSE(other.empty());
    ASSERT_EQ(link.search_and_open(), OpenResult::Success);
    auto average = [](auto check, int rounds) {
        const auto start = Clock::now();
        for (int i = 0; i < rounds; ++i)
            EXPECT_TRUE(check());
        return (Clock::now() - start) / rounds;
    };
    const auto listing = average([&] { return link.saved_port_present(); }, 20);

    std::atomic<std::int32_t> current{0};
    DeviceMonitor monitor(link, current);
    ASSERT_TRUE(monitor.start());
    const auto kept = average([&] { return link.saved_port_present(); }, 2000);
    EXPECT_LT(kept * 10, listing);
    EXPECT_FALSE(link.present_ports().contains(OsFamily::Other, "\\\\.\\COM99"));
    EXPECT_TRUE(link.present_ports().contains(OsFamily::Other, "\\\\.\\com149"));

    // The set follows the notices: one of the others goes, the terminal goes and comes back.
    ASSERT_TRUE(sim::remove_announcement(others[49]));
    EXPECT_TRUE(eventually(
        [&] { return !link.present_ports().contains(OsFamily::Other, "\\\\.\\COM149"); }));
    ASSERT_TRUE(terminal->unplug());
    EXPECT_TRUE(eventually([&] { return !link.saved_port_present(); }));
    EXPECT_TRUE(link.link_lost());
    ASSERT_TRUE(terminal->replug());
    EXPECT_TRUE(eventually([&] { return link.saved_port_present(); }));
    monitor.stop();
    for (const auto& other : others)
        sim::remove_announcement(other);
}

} // namespace
} // namespace brantel
