// A whole interactive run of the real Valdrun program, scripted on the console: the simulated
// reader needs an update, the smart-card service and its socket run on python3-dbusmock's
// systemd on a private bus, the test's own zkaservice.exe runs, and the sample update tool
// ends as the case asks. The run must stop and restart all of them in their order, start the
// tool in its folder with its arguments, write the report block and ask what the case asks.
#include "platform/processes/process_table.h"
#include "sim/reader_simulator.h"
#include "sim/terminal_simulator.h"
#include "tests/common/dummy_process.h"
#include "tests/common/private_system_bus.h"
#include "tests/common/text_lines.h"
#include "tests/wrapper/valdrun_runner.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <thread>

namespace {

using Units = std::vector<std::string>;

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The zkaservice.exe processes that run in `folder`; each is ended (the test started them,
// through the program under test).
int end_running_in(const std::filesystem::path& folder) {
    int found = 0;
    for (const auto& process :
         platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
        std::error_code gone;
        const auto cwd =
            std::filesystem::read_symlink("/proc/" + std::to_string(process.id) + "/cwd", gone);
        if (process.name == "zkaservice.exe" && cwd == folder) {
            ++found;
            EXPECT_TRUE(platform::end_process(process.id));
        }
    }
    return found;
}

struct RunCase {
    const char* name;
    const char* tool_exit;
    int exit_code;
    std::vector<std::string> console; // lines the run must write
    std::vector<std::string> report;  // lines of the report block
};

class ValdrunRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(ValdrunRun, StopsUpdatesRestartsAndReports) {
    const RunCase& c = GetParam();
    morlin_test::PrivateSystemBus bus;
    if (!bus.started() || !bus.add_systemd() || !bus.add_logind())
        GTEST_SKIP() << bus.why_not();
    ASSERT_TRUE(bus.add_unit({"pcscd.service", "active", {{"TriggeredBy", {"pcscd.socket"}}}}));
    ASSERT_TRUE(bus.add_unit({"pcscd.socket", "active"}));
    // The zkaservice.exe that the run starts again outlives it: it comes back to this test.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    morlin_test::TempDir folder;
    const auto devices = folder.path() / "devices";
    std::filesystem::create_directories(devices);
    sim::ReaderOptions options;
    options.announce_interface = true;
    options.devices_dir = devices.string();
    options.fw_minor = 0x01; // V5.01 against the description's 5.10
    auto reader = sim::ReaderSimulator::start(options);
    ASSERT_TRUE(reader);
    morlin_test::DummyProcess companion(folder.path() / "zka", "zkaservice.exe");

    const auto installation = folder.path() / "Valdrun";
    std::filesystem::create_directories(installation);
    morlin_test::write_text(installation / "Valdrun.ini",
                            "[ReaderDetails]\nReaderName=Ostrum Kartenleser\nVID=04E6\n"
                            "PID=5720\nFWVER=5.10\nDescriptor=Kartenleser K5\n"
                            "FWUpdateTool=FWUpdate\nCmdLineParameter=-s \"fw image.bin\"\n");
    std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR) / "FWUpdate",
                               installation / "FWUpdate");
    const int exit_code = valdrun_test::run_valdrun(
        installation, "",
        {{"MORLIN_ADMINISTRATOR", "yes"},
         {"MORLIN_UI_ACTIONS", "wait;wait"},
         {"MORLIN_UI_ANSWERS", "no"},
         {"MORLIN_TIME_SCALE", "10"},
         {"MORLIN_DEVICES", devices.string()},
         {"MORLIN_REAL_PORTS", "none"},
         {"MORLIN_PROCESS_SCOPE", std::to_string(::getpid())},
         {"PCSCLITE_CSOCK_NAME", (folder.path() / "no-pcscd.comm").string()},
         {"FWUPDATE_EXIT", c.tool_exit}});
    const auto console = morlin_test::lines_of(morlin_test::read_text(installation / "stderr.txt"));
    EXPECT_EQ(exit_code, c.exit_code) << morlin_test::read_text(installation / "stderr.txt");
    for (const std::string& line : c.console)
        EXPECT_TRUE(has_line(console, line)) << line;

    // Stopped dependents first, started again in reverse order; the restart question (if
    // any) answered No: no power request.
    EXPECT_EQ(bus.unit_jobs("StopUnit"), (Units{"pcscd.socket", "pcscd.service"}));
    EXPECT_EQ(bus.unit_jobs("StartUnit"), (Units{"pcscd.service", "pcscd.socket"}));
    EXPECT_TRUE(bus.power_requests("Reboot").empty());
    EXPECT_FALSE(companion.running()) << "the run ended the companion process";
    EXPECT_EQ(end_running_in(folder.path() / "zka"), 1) << "and started it again from its path";

    const auto record =
        morlin_test::lines_of(morlin_test::read_text(installation / "FWUpdate.record"));
    EXPECT_TRUE(has_line(record, "folder=" + installation.string()));
    EXPECT_TRUE(has_line(record, "arg1=-s"));
    EXPECT_TRUE(has_line(record, "arg2=fw image.bin"));
    const auto report = morlin_test::lines_of(morlin_test::read_text(installation / "Valdrun.log"));
    for (const std::string& line : c.report)
        EXPECT_TRUE(has_line(report, line)) << line;
    // The tool really loaded the reader: up to date after success (3), still due otherwise (1).
    EXPECT_EQ(valdrun_test::run_valdrun(
                  installation, "-CHECK",
                  {{"MORLIN_DEVICES", devices.string()},
                   {"MORLIN_REAL_PORTS", "none"},
                   {"PCSCLITE_CSOCK_NAME", (folder.path() / "no-pcscd.comm").string()}}),
              c.exit_code == 0 ? 3 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Valdrun, ValdrunRun,
    ::testing::Values(
        RunCase{"tool succeeds",
                "0",
                0,
                {"DIALOG 129 \"Kartenleser K5 - Installation\"", "DIALOG 130 \"\"", "END 130 ok",
                 "MSGBOX information ok [Kartenleser K5 - Installation] Firmware Successfully "
                 "updated. => ok",
                 "END 129 ok"},
                {"Ostrum Kartenleser", "Current firmware version: V5.01",
                 "New firmware version: V5.10", "The new firmware is loaded successfully.",
                 "ReturnCode: 0"}},
        RunCase{"tool fails",
                "2",
                7,
                {"MSGBOX error ok [Kartenleser K5 - Installation] Firmware Update failed. => ok",
                 "MSGBOX question yesno [Kartenleser K5 - Installation] Please reboot the system "
                 "and start then the FWUpdate tool again.\\nDo you want to reboot the system "
                 "now? => no"},
                {"Firmware update failed", "ReturnCode: 7"}}),
    [](const ::testing::TestParamInfo<RunCase>& param) {
        return param.param.exit_code == 0 ? std::string("Succeeds") : std::string("Fails");
    });

// Termination signals while the update tool runs: one lets the tool finish, then the service
// is started again and the report written as usual; a second starts the service again at once
// and the report says that the tool was still running.
TEST(ValdrunTermination, TheServiceIsStartedAgainWhateverTheSignals) {
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        morlin_test::PrivateSystemBus bus;
        if (!bus.started() || !bus.add_systemd())
            GTEST_SKIP() << bus.why_not();
        ASSERT_TRUE(bus.add_unit({"pcscd.service", "active"}));
        morlin_test::TempDir folder;
        sim::ReaderOptions options;
        options.announce_interface = true;
        options.devices_dir = (folder.path() / "devices").string();
        options.fw_minor = 0x01;
        auto reader = sim::ReaderSimulator::start(options);
        ASSERT_TRUE(reader);
        morlin_test::write_text(folder.path() / "Valdrun.ini",
                                "[ReaderDetails]\nReaderName=Ostrum Kartenleser\nVID=04E6\n"
                                "PID=5720\nFWVER=5.10\nDescriptor=K5\nFWUpdateTool=FWUpdate\n");
        morlin_test::write_text(folder.path() / "FWUpdate", "#!/bin/sh\ntouch started\nsleep 2\n");
        std::filesystem::permissions(folder.path() / "FWUpdate", std::filesystem::perms::owner_all);
        int exit_code = -1;
        std::thread run([&] {
            exit_code = valdrun_test::run_valdrun(
                folder.path(), "",
                {{"MORLIN_ADMINISTRATOR", "yes"},
                 {"MORLIN_UI_ACTIONS", "wait;wait"},
                 {"MORLIN_DEVICES", options.devices_dir},
                 {"MORLIN_REAL_PORTS", "none"},
                 {"MORLIN_PROCESS_SCOPE", std::to_string(::getpid())},
                 {"PCSCLITE_CSOCK_NAME", (folder.path() / "no-pcscd.comm").string()}});
        });
        for (int tries = 0; tries < 500 && !std::filesystem::exists(folder.path() / "started");
             ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // Only this run's Valdrun: the one of this test's descendants working in its folder.
        ::setenv("MORLIN_PROCESS_SCOPE", std::to_string(::getpid()).c_str(), 1);
        for (const auto& process :
             platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
            std::error_code gone;
            const auto cwd =
                std::filesystem::read_symlink("/proc/" + std::to_string(process.id) + "/cwd", gone);
            for (int sent = 0; process.name == "Valdrun" && cwd == folder.path() && sent < signals;
                 ++sent) {
                ::kill(static_cast<pid_t>(process.id), SIGTERM);
                std::this_thread::sleep_for(std::chrono::milliseconds(200)); // not merged
            }
        }
        ::unsetenv("MORLIN_PROCESS_SCOPE");
        run.join();
        EXPECT_EQ(exit_code, signals == 1 ? 0 : 7);
        EXPECT_EQ(bus.unit_jobs("StartUnit"), Units{"pcscd.service"});
        const auto report =
            morlin_test::lines_of(morlin_test::read_text(folder.path() / "Valdrun.log"));
        EXPECT_EQ(has_line(report, "The update tool was still running when Valdrun was ended."),
                  signals == 2);
    }
}

// A terminal (application 1.5, firmware 2.1.3) against a description with firmware 2.1.4 due:
// the offer names the firmware alone, Upgrade runs the tool, nothing is stopped, the
// application's files set aside during the run are back afterwards.
TEST(ValdrunTerminalRun, OffersTheFirmwareAloneAndStopsNothing) {
    morlin_test::PrivateSystemBus bus;
    if (!bus.started() || !bus.add_systemd() || !bus.add_logind())
        GTEST_SKIP() << bus.why_not();
    ASSERT_TRUE(bus.add_unit({"pcscd.service", "active"}));
    morlin_test::TempDir folder;
    sim::SimulatorOptions options;
    options.devices_dir = (folder.path() / "devices").string();
    auto terminal = sim::TerminalSimulator::start(options);
    ASSERT_TRUE(terminal);
    const auto installation = folder.path() / "Valdrun";
    std::filesystem::create_directories(installation);
    morlin_test::write_text(installation / "Valdrun.ini",
                            "[ReaderDetails]\nTerminalName=Halvane\nVID=04E6\nPID=1A02\n"
                            "FWVER=2.1.4\nAPPVER=1.5\nDescriptor=Halvane\nFWUpdateTool=FWUpdate\n");
    for (const char* file : {"FWUpdate", "BRANTEL.so"})
        std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR) / file,
                                   installation / file);
    morlin_test::write_text(installation / "HALVANE_APP_FW_1.sig", "application");
    const int exit_code =
        valdrun_test::run_valdrun(installation, "",
                                  {{"MORLIN_ADMINISTRATOR", "yes"},
                                   {"MORLIN_UI_ACTIONS", "wait;click 1;wait;wait"},
                                   {"MORLIN_TIME_SCALE", "10"},
                                   {"MORLIN_DEVICES", options.devices_dir},
                                   {"MORLIN_REAL_PORTS", "none"}});
    const auto console = morlin_test::lines_of(morlin_test::read_text(installation / "stderr.txt"));
    EXPECT_EQ(exit_code, 0) << morlin_test::read_text(installation / "stderr.txt");
    EXPECT_TRUE(has_line(console, "CTRL 1009 static enabled visible \"Click <Upgrade> to update "
                                  "Halvane to the actual\\n firmware version V2.1.4 using the "
                                  "FWUpdate tool.\""));
    EXPECT_TRUE(has_line(console, "END 130 ok"));
    EXPECT_TRUE(bus.unit_jobs("StopUnit").empty());
    EXPECT_TRUE(std::filesystem::exists(installation / "HALVANE_APP_FW_1.sig"));
    EXPECT_FALSE(std::filesystem::exists(installation / "_HALVANE_APP_FW_1.sig"));
    const auto report = morlin_test::lines_of(morlin_test::read_text(installation / "Valdrun.log"));
    EXPECT_TRUE(has_line(report, "New firmware version: V2.1.4"));
    EXPECT_TRUE(has_line(report, "ReturnCode: 0"));
    const sim::TerminalStatus loaded = terminal->status(); // what the sample tool downloaded
    EXPECT_EQ(std::vector<int>({loaded.fw_major, loaded.fw_minor, loaded.fw_build, loaded.app_major,
                                loaded.app_minor}),
              std::vector<int>({2, 1, 4, 1, 5}));
}

} // namespace
