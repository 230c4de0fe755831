// The device-interface, terminal and serial routes and the detection thread against the
// simulated reader and terminal, in-process. No smart-card service is reachable here, so the
// reader route finds nothing at once.
#include "platform/foundation/clock.h"
#include "sim/reader_simulator.h"
#include "sim/terminal_simulator.h"
#include "tests/common/temp_dir.h"
#include "valdrun_runner.h"
#include "wrapper/detection/detection.h"
#include "wrapper/detection/detection_thread.h"
#include "wrapper/report/run_report_block.h"
#include "wrapper/result_codes.h"

#include <gtest/gtest.h>

namespace {

using valdrun::PassOutcome;
using valdrun::PassSettings;
using valdrun::ReaderDescription;

const morlin_test::TempDir& devices() {
    static morlin_test::TempDir dir;
    return dir;
}

const bool environment_ready = [] {
    ::setenv("MORLIN_DEVICES", devices().path().c_str(), 1);
    ::setenv("MORLIN_TIME_SCALE", "5", 0);
    ::setenv("MORLIN_REAL_PORTS", "none", 1);
    ::setenv("PCSCLITE_CSOCK_NAME", (devices().path() / "no-pcscd.comm").c_str(), 1);
    return true;
}();

ReaderDescription usb_reader(std::uint16_t fw_major, std::uint16_t fw_minor) {
    ReaderDescription d;
    d.slot_name[0] = "Ostrum Kartenleser";
    d.vid = 0x04E6;
    d.pid = 0x5720;
    d.target_firmware = {fw_major, fw_minor, valdrun::kNoBuild};
    d.descriptor = "Kartenleser";
    return d;
}

// ---- device-interface route ------------------------------------------------------------

struct InterfaceCase {
    const char* what;
    std::uint8_t fw_major, fw_minor;
    bool zero_identifiers;
    int result;
};

class DeviceInterfaceRoute : public ::testing::TestWithParam<InterfaceCase> {};

TEST_P(DeviceInterfaceRoute, ReadsTheFirstDeviceOfTheClass) {
    const InterfaceCase& c = GetParam();
    sim::ReaderOptions options;
    options.announce_interface = true;
    options.fw_major = c.fw_major;
    options.fw_minor = c.fw_minor;
    options.faults.zero_identifiers = c.zero_identifiers;
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    const PassOutcome outcome = valdrun::detection_pass(usb_reader(5, 0x10), PassSettings{});
    EXPECT_EQ(outcome.result, c.result) << c.what;
    EXPECT_EQ(outcome.reader_count, 0) << "the device interface counts no reader";
}

// An older reader and an up-to-date one are the end-to-end runs' (valdrun_run_test.cpp: the
// window's pass before the update, check mode after it).
INSTANTIATE_TEST_SUITE_P(
    Valdrun, DeviceInterfaceRoute,
    ::testing::Values(InterfaceCase{"V4.14", 4, 0x14, false, valdrun::kDetectedTooOld},
                      InterfaceCase{"version 0.0", 0, 0, false, valdrun::kDetectedNothing},
                      // Zeros are not treated specially here: they differ from the description.
                      InterfaceCase{"identifiers zero", 5, 0x10, true,
                                    valdrun::kDetectedOtherReader}));

TEST(DeviceInterfaceRouteFaults, SilentOrVanishedDeviceGivesNothing) {
    for (const bool vanished : {false, true}) {
        sim::ReaderOptions options;
        options.announce_interface = true;
        options.faults.no_answer = !vanished;
        options.faults.vanished = vanished;
        auto reader = sim::ReaderSimulator::start(options);
        ASSERT_TRUE(reader);
        EXPECT_EQ(valdrun::detection_pass(usb_reader(5, 0x10), PassSettings{}).result,
                  valdrun::kDetectedNothing);
    }
    EXPECT_EQ(valdrun::detection_pass(usb_reader(5, 0x10), PassSettings{}).result,
              valdrun::kDetectedNothing)
        << "no device at all";
}

// ---- terminal route through BRANTEL.so --------------------------------------------------

// The versions as text through BRANTEL.so: application 1.05 equals 1.5, firmware build 3 is
// older than 4. The binary form is the end-to-end terminal run's; a refused status word and
// both forms byte by byte are frames_test.cpp's.
TEST(TerminalRoute, ReadsTheVersionsThroughBrantel) {
    sim::SimulatorOptions options;
    options.status.app_encoding = sim::VersionEncoding::Text;
    options.status.fw_encoding = sim::VersionEncoding::Text;
    auto terminal = sim::TerminalSimulator::start(options); // application 1.5, firmware 2.1.3
    ASSERT_TRUE(terminal);
    ReaderDescription d;
    d.slot_name[0] = "Halvane";
    d.terminal = true;
    d.target_application = {1, 5, valdrun::kNoBuild}; // APPVER 1.5
    d.target_firmware = {2, 1, 4};                    // FWVER 2.1.4
    PassSettings settings;
    settings.brantel_library = std::string(MORLIN_BIN_DIR) + "/BRANTEL.so";
    const PassOutcome outcome = valdrun::detection_pass(d, settings);
    EXPECT_EQ(outcome.result, 0x01);
    EXPECT_EQ(outcome.reader_count, 1);
    EXPECT_EQ(outcome.terminal_port_name, terminal->port_name());
    EXPECT_EQ(outcome.terminal.app_minor, 5);
    EXPECT_EQ(outcome.terminal.fw_build, 3);
}

TEST(TerminalRouteWithout, NoTerminalOrNoLibraryGivesNothing) {
    ReaderDescription d;
    d.slot_name[0] = "Halvane";
    d.terminal = true;
    PassSettings settings;
    EXPECT_EQ(valdrun::detection_pass(d, settings).result, valdrun::kDetectedNothing);
    auto terminal = sim::TerminalSimulator::start({});
    ASSERT_TRUE(terminal);
    settings.brantel_library = devices().file("NOLIB.so");
    const PassOutcome outcome = valdrun::detection_pass(d, settings);
    EXPECT_EQ(outcome.result, valdrun::kDetectedNothing);
    EXPECT_EQ(outcome.reader_count, 1) << "the port was counted before the library was missed";
}

// ---- serial route (Windows 98/Me) -------------------------------------------------------

struct SerialCase {
    const char* what;
    sim::ReaderFaults faults;
    int result;
};

ReaderDescription serial_reader() {
    ReaderDescription d;
    d.slot_name[1] = "Ostrum Serial";
    d.active_slot = 1;
    d.hardware_id = "SERENUM\\OST5720";
    d.target_firmware = {5, 0x10, valdrun::kNoBuild};
    d.descriptor = "Kartenleser";
    return d;
}

class SerialRoute : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialRoute, AsksEachPortWithTheEscapeFrames) {
    const SerialCase& c = GetParam();
    sim::ReaderOptions options;
    options.serial_port = true;
    options.fw_minor = 0x02;
    options.faults = c.faults;
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    PassSettings settings;
    settings.os_type = 2;
    settings.serial_ports = {"COM99", reader->serial_port_name()}; // the first cannot be opened
    const ReaderDescription description = serial_reader();
    const PassOutcome outcome = valdrun::detection_pass(description, settings);
    EXPECT_EQ(outcome.result, c.result) << c.what;
    EXPECT_EQ(outcome.active_slot, 1);
    // The version read is the one the report (and the too-old message) shows.
    const std::string block = valdrun::run_report_block({description, outcome, "v"}, 11, {});
    EXPECT_EQ(block.find("Current firmware version: V5.02") != std::string::npos,
              c.result == valdrun::kDetectedUpdateDue);
}

sim::ReaderFaults faults_with(void (*set)(sim::ReaderFaults&)) {
    sim::ReaderFaults faults;
    set(faults);
    return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Valdrun, SerialRoute,
    ::testing::Values(SerialCase{"version command", {}, valdrun::kDetectedUpdateDue},
                      SerialCase{"wait frames first",
                                 faults_with([](sim::ReaderFaults& f) { f.wait_frames = 3; }),
                                 valdrun::kDetectedUpdateDue},
                      SerialCase{"long version command only", faults_with([](sim::ReaderFaults& f) {
                                     f.long_version_only = true;
                                 }),
                                 valdrun::kDetectedUpdateDue},
                      SerialCase{"status bit 6",
                                 faults_with([](sim::ReaderFaults& f) { f.status_bit6 = true; }),
                                 valdrun::kDetectedNothing},
                      SerialCase{"no answer: each read ends after 1500 ms",
                                 faults_with([](sim::ReaderFaults& f) { f.no_answer = true; }),
                                 valdrun::kDetectedNothing}));

TEST(SerialRouteOnly, OnWindows98Only) {
    sim::ReaderOptions options;
    options.serial_port = true;
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    PassSettings settings;
    settings.os_type = 5;
    settings.serial_ports = {reader->serial_port_name()};
    EXPECT_EQ(valdrun::detection_pass(serial_reader(), settings).result, valdrun::kDetectedNothing);
}

TEST(SerialRouteProgram, CheckModeUnderWindows98FindsTheSerialReader) {
    sim::ReaderOptions options;
    options.serial_port = true;
    options.port_name = "COM5";
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    morlin_test::TempDir folder;
    morlin_test::write_text(folder.path() / "registry.reg",
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n"
                            "\"\\\\Device\\\\Serial0\"=\"COM1\"\r\n"
                            "\"\\\\Device\\\\Serial4\"=\"COM5\"\r\n");
    morlin_test::write_text(
        folder.path() / "Valdrun.ini",
        "[ReaderDetails]\nReaderName2=Ostrum Serial\nHardwareID=SERENUM\\OST5720\n"
        "FWVER=5.10\nDescriptor=Kartenleser\n");
    const std::map<std::string, std::string> env = {
        {"MORLIN_OS_VERSION", "win98"},
        {"MORLIN_REGISTRY", folder.file("registry.reg")},
        {"MORLIN_DEVICES", devices().path().string()},
        {"PCSCLITE_CSOCK_NAME", folder.file("no-pcscd.comm")}};
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), "-CHECK", env), 3);
    reader->set_firmware(5, 0x01);
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), "-CHECK", env), 1);
    // A stock machine has no registry stand-in: its serial ports come from the device lists.
    auto stock = env;
    stock["MORLIN_REGISTRY"] = folder.file("none.reg");
    stock["MORLIN_REAL_PORTS"] = "none";
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), "-CHECK", stock), 1);
    reader.reset();
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), "-CHECK", stock), 6)
        << "a serial-only description needs a serial port";
}

// ---- the detection thread ---------------------------------------------------------------

TEST(DetectionThread, EndsByItselfOnAUsableResult) {
    sim::ReaderOptions options;
    options.announce_interface = true;
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    valdrun::RunRecord record;
    record.description = usb_reader(5, 0x20);
    valdrun::DetectionThread thread;
    thread.start(record, PassSettings{});
    for (int i = 0; i < 500 && !thread.finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(thread.finished());
    const auto outcome = record.latest();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, valdrun::kDetectedUpdateDue);
}

TEST(DetectionThread, KeepsPollingUntilStoppedAndStopsAtOnce) {
    platform::set_time_scale_percent(100); // real 250 ms between passes
    valdrun::RunRecord record;
    record.description = usb_reader(5, 0x10); // nothing attached
    valdrun::DetectionThread thread;
    thread.start(record, PassSettings{});
    while (!record.latest())
        std::this_thread::yield();
    EXPECT_FALSE(thread.finished());
    const auto start = std::chrono::steady_clock::now();
    thread.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(record.latest()->result, valdrun::kDetectedNothing);
    platform::set_time_scale_percent(0);
}

// A terminal that accepts but never answers holds a CT-API exchange for seconds: the window's
// stop does not wait for it.
TEST(DetectionThread, StopsWithinASecondWhileATerminalNeverAnswers) {
    sim::SimulatorOptions options;
    options.faults.silent_requests = 100;
    ::setenv("MORLIN_TIME_SCALE", "100", 1); // Brantel's own time-outs, read when it is loaded
    auto terminal = sim::TerminalSimulator::start(options);
    ASSERT_TRUE(terminal);
    valdrun::RunRecord record;
    record.description.slot_name[0] = "Halvane";
    record.description.terminal = true;
    PassSettings settings;
    settings.brantel_library = std::string(MORLIN_BIN_DIR) + "/BRANTEL.so";
    valdrun::DetectionThread thread;
    thread.start(record, settings);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // inside the exchange
    const auto start = std::chrono::steady_clock::now();
    thread.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(record.latest()) << "nothing published after the stop";
    for (int i = 0; i < 1500 && !thread.finished(); ++i) // it ends by itself, before the terminal
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::setenv("MORLIN_TIME_SCALE", "5", 1);
}

} // namespace
