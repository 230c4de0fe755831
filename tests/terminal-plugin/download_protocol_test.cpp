#include "fake_terminal.h"
#include "terminal-plugin/protocol/download_protocol.h"
#include "test_support.h"
#include "tests/common/gate.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <new>
#include <platform/devices/device_set.h>
#include <platform/user_interface/ui.h>
#include <thread>

namespace vupporta {
namespace {

using testing::FakeTerminal;
using testing::LogCapture;
using testing::make_image;
using testing::status_information;

struct Report {
    int steps;
    std::optional<std::string> text;
    bool operator==(const Report&) const = default;
};
std::vector<Report> g_reports;

void record_progress(int steps, const char* text) {
    g_reports.push_back({steps, text ? std::optional<std::string>(text) : std::nullopt});
}

// Device notifications handed in by the test instead of the system.
struct WatcherHub {
    struct Watcher : platform::DeviceWatcher {
        WatcherHub& hub;
        explicit Watcher(WatcherHub& h) : hub(h) {}
        ~Watcher() override {
            if (hub.on_watcher_end) {
                hub.on_watcher_end(); // before waiting for a notice in flight to finish
            }
            std::lock_guard lock(hub.mutex);
            hub.callback = nullptr;
            if (hub.events != nullptr) {
                hub.events->push_back("watcher ended");
            }
        }
    };
    std::mutex mutex;
    platform::DeviceWatcher::Callback callback;
    bool refuse = false;
    bool throws = false;
    int started = 0;
    std::vector<std::string>* events = nullptr; // gets "watcher ended"
    std::function<void()> on_watcher_end;

    WatcherFactory factory() {
        return [this](std::string_view, platform::DeviceWatcher::Callback cb)
                   -> std::unique_ptr<platform::DeviceWatcher> {
            if (refuse) {
                return nullptr;
            }
            if (throws) {
                throw std::bad_alloc();
            }
            std::lock_guard lock(mutex);
            ++started;
            callback = std::move(cb);
            return std::make_unique<Watcher>(*this);
        };
    }
    void remove(const std::string& interface_path) {
        std::lock_guard lock(mutex);
        if (callback) {
            callback({platform::DeviceEvent::Kind::Removal, interface_path,
                      std::string(platform::kUsbDeviceInterface)});
        }
    }
};

constexpr const char* kSymbolicName =
    "\\??\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr const char* kInterfacePath =
    "\\\\?\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::prepare_fast_environment();
        g_reports.clear();
        ui = std::make_shared<platform::ScriptedUserInterface>();
        previous_ui = platform::install_user_interface(ui);
        std::snprintf(terminal_detail.port_name, sizeof terminal_detail.port_name, "COM7");
        std::snprintf(terminal_detail.product_name, sizeof terminal_detail.product_name, "Halvane");
        std::snprintf(terminal_detail.symbolic_name, sizeof terminal_detail.symbolic_name, "%s",
                      kSymbolicName);
    }
    void TearDown() override { platform::install_user_interface(previous_ui); }

    int download(const std::vector<std::uint8_t>& image) {
        const std::string path = folder.write("image.bin", image);
        SerialLink link([this](std::string_view p) {
            return open_throws ? throw std::bad_alloc() : terminal.open(p);
        });
        DeviceMonitor monitor(hub.factory());
        monitor.set_race_hook(race_hook);
        Download run(link, monitor, texts,
                     {&terminal_detail, path.c_str(), record_progress, &abort_flag});
        const int result = run.run();
        link_left_open = link.is_open();
        monitor_left_running = monitor.running() || monitor.armed();
        return result;
    }

    std::vector<std::optional<std::string>> report_texts() const {
        std::vector<std::optional<std::string>> texts_seen;
        for (const auto& report : g_reports) {
            texts_seen.push_back(report.text);
        }
        return texts_seen;
    }

    FakeTerminal terminal;
    WatcherHub hub;
    testing::NumberedTexts texts;
    testing::TempFolder folder;
    TerminalDetail terminal_detail{};
    int abort_flag = 0;
    std::shared_ptr<platform::ScriptedUserInterface> ui;
    std::shared_ptr<platform::UserInterface> previous_ui;
    LogCapture log;
    bool link_left_open = true;
    bool monitor_left_running = true;
    bool open_throws = false;
    DeviceMonitor::RaceHook race_hook;
};

TEST_F(DownloadTest, FirmwareImageGoesOutInItsBlocksAndEveryByteArrives) {
    const auto image = make_image('0', 1000, "Halvane");
    ASSERT_EQ(download(image), VUP_OK);
    EXPECT_EQ(terminal.image, image);
    EXPECT_EQ(terminal.block_sizes, (std::vector<std::size_t>{256, 256, 261, 227}));
    EXPECT_EQ(terminal.upgrade_requests, (std::vector<std::uint8_t>{'0'}));
    EXPECT_EQ(terminal.breaks, 2);
    const std::vector<Report> expected = {{0, "T736"},  {0, "T752"},  {5, "T752"},
                                          {5, "T750"},  {12, "T603"}, {12, "T603"},
                                          {12, "T603"}, {12, "T603"}, {6, "T605"}};
    EXPECT_EQ(g_reports, expected);
    EXPECT_FALSE(link_left_open);
    EXPECT_FALSE(monitor_left_running);
    EXPECT_TRUE(log.contains("Firmware Upgrade Request"));
    EXPECT_TRUE(log.contains("Download mode request acknowledged"));
    EXPECT_TRUE(log.contains("Looking for any notification from device"));
    EXPECT_TRUE(ui->boxes.empty());
    // Every piece on the wire is at most 128 bytes.
    for (std::size_t size : terminal.write_sizes) {
        EXPECT_LE(size, 128u);
    }
}

TEST_F(DownloadTest, ApplicationImageUsesLargeBlocksAfterTheFirstTwo) {
    const auto image = make_image('1', 70000, "Halvane");
    ASSERT_EQ(download(image), VUP_OK);
    EXPECT_EQ(terminal.image, image);
    EXPECT_EQ(terminal.block_sizes, (std::vector<std::size_t>{256, 256, 65536, 3952}));
    EXPECT_EQ(terminal.upgrade_requests, (std::vector<std::uint8_t>{'1'}));
    EXPECT_EQ(g_reports.back(), (Report{5, "T605"}));
    EXPECT_EQ(std::count(g_reports.begin(), g_reports.end(), Report{17, "T603"}), 4);
    EXPECT_TRUE(log.contains("Application Upgrade Request"));
}

TEST_F(DownloadTest, StoredRecordsWarningAnsweredNoStopsBeforeTheHandshake) {
    terminal.status_answers = {status_information(1, true, 3)};
    ui->answers = {platform::MessageAnswer::No};
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_RECORDS_DECLINED);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].text, "T743 3 recordsT751T742");
    EXPECT_EQ(ui->boxes[0].caption, "T745");
    EXPECT_EQ(ui->boxes[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(ui->boxes[0].default_button, 1);
    EXPECT_EQ(g_reports, (std::vector<Report>{{0, "T746"}, {0, std::nullopt}}));
    EXPECT_EQ(terminal.breaks, 0);
    EXPECT_EQ(hub.started, 0);
    EXPECT_TRUE(log.contains("No of records: 3"));
    EXPECT_FALSE(link_left_open);
}

TEST_F(DownloadTest, OneStoredRecordAnsweredYesGoesOn) {
    terminal.status_answers = {status_information(1, true, 1), status_information()};
    ui->answers = {platform::MessageAnswer::Yes};
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].text, "T744\nT751T742");
}

TEST_F(DownloadTest, WarningTextNeverUsesTheResourceAsAFormat) {
    struct OddTexts : Texts {
        std::string text(unsigned id, std::size_t) const override {
            return id == kRecordsWarningSeveral ? "%s %d%% %d" : "";
        }
    } odd;
    EXPECT_EQ(records_warning_text(12, odd), "%s 12% %d");
}

TEST_F(DownloadTest, BusyStateIsPolledUntilReady) {
    terminal.status_answers = {status_information(), status_information(4), status_information(9),
                               status_information(1)};
    ASSERT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    const auto seen = report_texts();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], "T739");
    EXPECT_EQ(seen[1], "T736"); // state 9 has no text
    EXPECT_EQ(terminal.manufacturer_queries, 4);
}

TEST_F(DownloadTest, RefusingStatesEndWithTheirCodes) {
    for (auto [state, code] : std::vector<std::pair<int, int>>{{0, 735}, {3, 738}, {5, 740}}) {
        terminal = FakeTerminal();
        terminal.status_answers = {status_information(),
                                   status_information(static_cast<std::uint8_t>(state))};
        g_reports.clear();
        EXPECT_EQ(download(make_image('0', 1000, "Halvane")), code);
        EXPECT_EQ(terminal.breaks, 0);
        EXPECT_EQ(g_reports.front().text, "T" + std::to_string(code));
        EXPECT_EQ(g_reports.back(), (Report{0, std::nullopt}));
    }
}

TEST_F(DownloadTest, StateTwoAsksTheShortStatusOnceMore) {
    terminal.status_answers = {status_information(), status_information(2)};
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_STATE_2);
    EXPECT_EQ(terminal.short_queries, 2);
}

TEST_F(DownloadTest, NotReadyGives757BeforeAnyBreak) {
    terminal.status_answers = {status_information(), status_information(1, false)};
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_NOT_READY);
    EXPECT_EQ(terminal.breaks, 0);
    EXPECT_FALSE(monitor_left_running);
}

TEST_F(DownloadTest, DownloadModeRequestUnansweredOrRefused) {
    terminal.mode_answer.reset();
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_NO_ANSWER);
    terminal = FakeTerminal();
    terminal.mode_answer = 0x15;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_DOWNLOAD_MODE);
    terminal = FakeTerminal();
    terminal.break_refused = true;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_DOWNLOAD_MODE);
    EXPECT_TRUE(terminal.image.empty());
}

TEST_F(DownloadTest, RestartRequestRepeatsTheHandshakeOnAReopenedPort) {
    terminal.notifications = {'f'};
    const auto image = make_image('0', 1000, "Halvane");
    ASSERT_EQ(download(image), VUP_OK);
    EXPECT_EQ(terminal.breaks, 4);
    EXPECT_EQ(terminal.opens, 3); // checks, handshake, after the restart
    EXPECT_EQ(terminal.upgrade_requests.size(), 2u);
    EXPECT_EQ(terminal.image, image);
    EXPECT_TRUE(log.contains("Device requested restart of fw download"));
}

TEST_F(DownloadTest, RestartRequestsBeyondTheBudgetEndWithAnError) {
    terminal.notifications = std::deque<std::uint8_t>(15, 'f');
    ASSERT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    EXPECT_EQ(terminal.breaks, 32);
    terminal = FakeTerminal();
    terminal.notifications = std::deque<std::uint8_t>(16, 'f');
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_DOWNLOAD_MODE);
    EXPECT_TRUE(terminal.image.empty());
    EXPECT_FALSE(link_left_open);
}

TEST_F(DownloadTest, UnexpectedNotificationGives732) {
    terminal.notifications = {'x'};
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_UNEXPECTED_BYTE);
    EXPECT_TRUE(log.contains("Unexpected character received from device"));
}

TEST_F(DownloadTest, UpgradeRequestNotAcknowledgedSendsNothing) {
    for (char type : {'0', '1'}) {
        terminal = FakeTerminal();
        terminal.upgrade_answer = 0x15;
        EXPECT_EQ(download(make_image(type, 1000, "Halvane")), VUP_ERR_UNEXPECTED_BYTE);
        EXPECT_TRUE(terminal.image.empty());
    }
    terminal = FakeTerminal();
    terminal.upgrade_answer.reset();
    EXPECT_EQ(download(make_image('1', 1000, "Halvane")), VUP_ERR_NO_ANSWER);
}

TEST_F(DownloadTest, NegativeAcknowledgementOfABlockGives730) {
    terminal.block_answer = [](std::size_t block) -> std::optional<std::uint8_t> {
        return block == 2 ? 0x15 : 0x06;
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_BLOCK_NAK);
    EXPECT_TRUE(log.contains("Data received: 15"));
    EXPECT_EQ(terminal.block_sizes.size(), 3u);
    EXPECT_FALSE(link_left_open);
}

TEST_F(DownloadTest, SilenceAfterABlockGives731) {
    terminal.block_answer = [](std::size_t block) -> std::optional<std::uint8_t> {
        return block == 1 ? std::nullopt : std::optional<std::uint8_t>(0x06);
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_NO_ANSWER);
    EXPECT_EQ(g_reports.back(), (Report{0, std::nullopt}));
}

TEST_F(DownloadTest, MissingFinalAcknowledgementGives755) {
    terminal.final_answer.reset();
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_FINAL_ACK);
    terminal = FakeTerminal();
    terminal.final_answer = 0x15;
    EXPECT_EQ(download(make_image('1', 600, "Halvane")), VUP_ERR_FINAL_ACK);
}

TEST_F(DownloadTest, HostAbortDuringTheTransferGives212) {
    terminal.on_block = [this](std::size_t block) {
        if (block == 1) {
            abort_flag = 1;
        }
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_ABORTED);
    EXPECT_EQ(terminal.block_sizes.size(), 2u);
    EXPECT_EQ(g_reports.back(), (Report{0, std::nullopt}));
    EXPECT_FALSE(link_left_open);
    EXPECT_FALSE(monitor_left_running);
}

TEST_F(DownloadTest, UnplugDuringTheTransferAbortsWithDeviceRemoved) {
    terminal.on_block = [this](std::size_t block) {
        if (block == 2) {
            hub.remove("\\\\?\\USB#Vid_1234&Pid_0001#OTHER#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
            EXPECT_EQ(abort_flag, 0);
            terminal.connected = false;
            hub.remove(kInterfacePath);
        }
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_ABORTED);
    EXPECT_EQ(abort_flag, 1);
    EXPECT_EQ(log.count("DeviceMonitor("), log.count("Suspend and shutdown") + 1);
    EXPECT_TRUE(log.contains("): Device Removed"));
    EXPECT_EQ(g_reports.back(), (Report{0, std::nullopt}));
}

TEST_F(DownloadTest, TerminalRestartingAfterTheFinalAcknowledgementIsSuccess) {
    terminal.on_final_answer = [this] {
        terminal.connected = false;
        hub.remove(kInterfacePath);
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    EXPECT_EQ(g_reports.back(), (Report{6, "T605"}));
}

TEST_F(DownloadTest, RemovalNoticedBeforeTheFinalAcknowledgementIsReadIsSuccess) {
    // The terminal acknowledges the image and leaves at once; the monitor notices the
    // removal and ends the pending read before the plug-in has taken the acknowledgement
    // that is already there.
    terminal.cancel_ends_final_read = true;
    terminal.on_final_answer = [this] { hub.remove(kInterfacePath); };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    EXPECT_GE(terminal.cancels(), 1);
    EXPECT_EQ(g_reports.back(), (Report{6, "T605"}));
}

TEST_F(DownloadTest, UnplugDuringTheHandshakeIsNoAbort) {
    terminal.on_break = [this](int breaks) {
        if (breaks == 1) {
            terminal.connected = false;
            hub.remove(kInterfacePath);
        }
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_DOWNLOAD_MODE);
    EXPECT_EQ(abort_flag, 0);
    EXPECT_FALSE(log.contains("Device Removed"));
    EXPECT_FALSE(monitor_left_running);
}

TEST_F(DownloadTest, MonitorThatCannotWatchGives200) {
    hub.refuse = true;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_TRUE(log.contains("RegisterDeviceNotification failed"));
    EXPECT_EQ(terminal.breaks, 0);
}

TEST_F(DownloadTest, FilesThatCannotBeSentWholeAreRefusedBeforeThePortOpens) {
    EXPECT_EQ(download({}), VUP_ERR_FILE);
    EXPECT_EQ(download(make_image('0', 200, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_EQ(download(make_image('0', 772, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_EQ(download(make_image('1', 511, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_EQ(download(make_image('2', 5000, "Halvane")), VUP_ERR_IMAGE_TYPE);
    EXPECT_EQ(download(std::vector<std::uint8_t>(100, '0')), VUP_ERR_IMAGE_TYPE);
    EXPECT_EQ(terminal.opens, 0);
    // The smallest whole images go through.
    EXPECT_EQ(download(make_image('0', 773, "Halvane")), VUP_OK);
    EXPECT_EQ(terminal.block_sizes, (std::vector<std::size_t>{256, 256, 261}));
    terminal = FakeTerminal();
    EXPECT_EQ(download(make_image('1', 512, "Halvane")), VUP_OK);
    EXPECT_EQ(terminal.block_sizes, (std::vector<std::size_t>{256, 256}));
}

TEST_F(DownloadTest, MissingPortGives729) {
    terminal.connected = false;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_PORT);
    EXPECT_EQ(g_reports, (std::vector<Report>{{0, std::nullopt}}));
}

TEST_F(DownloadTest, AbortSetBeforeTheStartGives212) {
    abort_flag = 1;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_ABORTED);
    EXPECT_EQ(terminal.manufacturer_queries, 0);
}

TEST_F(DownloadTest, TwoDownloadsInARowEachGetAMonitor) {
    ASSERT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    terminal = FakeTerminal();
    ASSERT_EQ(download(make_image('1', 1000, "Halvane")), VUP_OK);
    EXPECT_EQ(hub.started, 2);
}

// The answer time limit of each block as the line sees it: a silent terminal gets one read
// attempt per second of the limit, and a block's own line time on top (whole seconds).
TEST_F(DownloadTest, EachBlockWaitsForItsAnswerAsLongAsItsPositionAllows) {
    struct Case {
        char type;
        std::size_t size;
        std::size_t silent_block;
        int read_attempts;
    };
    const Case cases[] = {
        {'0', 2000, 0, 1},  {'0', 2000, 1, 1},  {'0', 2000, 2, 30},
        {'0', 2000, 3, 10}, {'1', 70000, 1, 1}, {'1', 70000, 2, 10 + 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.type << " block " << c.silent_block);
        terminal = FakeTerminal();
        terminal.final_answer.reset(); // silent after the block, not acknowledging the image
        int reads_before = 0;
        terminal.on_block = [&](std::size_t) { reads_before = terminal.silent_reads; };
        terminal.block_answer = [&](std::size_t block) -> std::optional<std::uint8_t> {
            return block == c.silent_block ? std::nullopt : std::optional<std::uint8_t>(0x06);
        };
        EXPECT_EQ(download(make_image(c.type, c.size, "Halvane")), VUP_ERR_NO_ANSWER);
        EXPECT_EQ(terminal.block_sizes.size(), c.silent_block + 1);
        EXPECT_EQ(terminal.silent_reads - reads_before, c.read_attempts);
    }
}

TEST_F(DownloadTest, MonitorHasEndedBeforeTheOutcomeIsDecided) {
    // A removal that the monitor handles while the download ends could otherwise fall between
    // the download's readings of "removal seen" and of the abort flag.
    std::vector<std::string> events;
    hub.events = &events;
    terminal.final_answer.reset();
    static std::vector<std::string>* outcome_events = nullptr;
    outcome_events = &events;
    const auto record_end = [](int steps, const char* text) {
        if (text == nullptr) {
            outcome_events->push_back("outcome");
        }
        record_progress(steps, text);
    };
    const std::string path = folder.write("image.bin", make_image('0', 1000, "Halvane"));
    SerialLink link([this](std::string_view p) { return terminal.open(p); });
    DeviceMonitor monitor(hub.factory());
    EXPECT_EQ(
        Download(link, monitor, texts, {&terminal_detail, path.c_str(), record_end, &abort_flag})
            .run(),
        VUP_ERR_FINAL_ACK);
    EXPECT_EQ(events, (std::vector<std::string>{"watcher ended", "outcome"}));
}

TEST_F(DownloadTest, RemovalRecordedWhileTheOutcomeIsReadLeavesTheSuccess) {
    // The terminal restarts into its image at once: the watcher's thread has matched the
    // removal while the monitor was armed, and records it only after the download has read
    // "removal seen". Were the abort flag then read from a monitor still running, the
    // success would come back as 212; stopping the monitor lets the notice finish first.
    morlin_test::Gate matched, recording, recorded;
    race_hook = [&](DeviceMonitor::RacePoint point) {
        if (point == DeviceMonitor::RacePoint::RemovalMatched) {
            matched.open();
            recording.wait();
        } else {
            recording.open();
            recorded.wait();
        }
    };
    hub.on_watcher_end = [&] { recording.open(); };
    std::thread watcher_thread;
    terminal.on_final_answer = [&] {
        watcher_thread = std::thread([&] {
            hub.remove(kInterfacePath);
            recorded.open();
        });
        matched.wait();
    };
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_OK);
    ASSERT_TRUE(watcher_thread.joinable());
    watcher_thread.join();
    EXPECT_EQ(abort_flag, 1); // the removal was recorded, and still no abort
    EXPECT_EQ(g_reports.back(), (Report{6, "T605"}));
}

TEST_F(DownloadTest, PowerManagerThatIsSlowOrAbsentHoldsNothingUp) {
    // Run by CTest on a private bus (fake_logind.py) whose power manager never answers, or
    // is not there.
    const char* logind = std::getenv("MORLIN_TEST_LOGIND");
    if (logind == nullptr) {
        GTEST_SKIP() << "needs the private bus of fake_logind.py";
    }
    ::unsetenv("MORLIN_INHIBIT");
    const auto start = std::chrono::steady_clock::now();
    const int result = download(make_image('0', 1000, "Halvane"));
    const auto spent = std::chrono::steady_clock::now() - start;
    ::setenv("MORLIN_INHIBIT", "none", 1);
    EXPECT_EQ(result, VUP_OK) << logind;
    EXPECT_TRUE(log.contains("Suspend and shutdown are not held off"));
    EXPECT_LT(spent, std::chrono::seconds(3));
}

TEST_F(DownloadTest, WritesAreBoundedByTheLineTimeOfTheirPiece) {
    // The first write after an open (a status query) and a 128-byte piece of a block: each
    // may take its line time and a margin of seconds, not minutes and not for ever.
    const std::function<bool(std::size_t, bool)> hangs[] = {
        [](std::size_t write, bool) { return write == 0; },
        [](std::size_t, bool transferring) { return transferring; },
    };
    for (const auto& hang : hangs) {
        terminal = FakeTerminal();
        terminal.hangs = hang;
        terminal.hang_keeps_time_limit = true;
        EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_ABORTED);
        ASSERT_EQ(terminal.hung_write_limits_ms.size(), 1u);
        EXPECT_GT(terminal.hung_write_limits_ms[0], 0u);
        EXPECT_LE(terminal.hung_write_limits_ms[0], 3000u);
        EXPECT_TRUE(log.contains("GetOverlappedResult in TransmitData failed"));
    }
}

TEST_F(DownloadTest, HungWriteIsEndedByTheAbortFlagOrByTheUnplug) {
    const std::function<void()> stops[] = {
        [this] { std::atomic_ref<int>(abort_flag).store(1); },
        [this] {
            terminal.connected = false;
            hub.remove(kInterfacePath);
        },
    };
    for (const auto& stop : stops) {
        terminal = FakeTerminal();
        abort_flag = 0;
        terminal.hangs = [](std::size_t, bool transferring) { return transferring; };
        terminal.on_hang = stop;
        EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_ABORTED);
        EXPECT_GE(terminal.cancels(), 1);
        EXPECT_EQ(g_reports.back(), (Report{0, std::nullopt}));
        EXPECT_FALSE(monitor_left_running);
    }
}

TEST_F(DownloadTest, WhatThePartsThrowEndsTheRunWithTheCodeOfThatFailure) {
    // A port that cannot be had for want of memory, a monitor that cannot start: the run
    // ends with its code, the port closed and no monitor left.
    open_throws = true;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_TRUE(log.contains("download failed"));
    open_throws = false;
    hub.throws = true;
    EXPECT_EQ(download(make_image('0', 1000, "Halvane")), VUP_ERR_GENERAL);
    EXPECT_TRUE(log.contains("DeviceMonitor(") && log.contains(":Memory allocation failed."));
    EXPECT_EQ(terminal.breaks, 0);
    EXPECT_FALSE(link_left_open);
    EXPECT_FALSE(monitor_left_running);
}

} // namespace
} // namespace vupporta
