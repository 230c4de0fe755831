// The configured run's progress dialog without a toolkit: driven through the console's view
// in-process against the recording test plug-in (and its mobile-terminal twin).
#include "host/dialogs/cfg_mode_dlg.h"
#include "platform/foundation/clock.h"
#include "tests/dialogs/host_dialog_bench.h"

namespace morlin {
namespace {

using Answer = platform::MessageAnswer;

constexpr const char* kContinueQuestion =
    "The last download failed. Do you want to continue with the next device?";
constexpr const char* kCancelQuestion = "A firmware update is running. Do you want to cancel it?";

struct RunCase {
    const char* name;
    const char* scenario;
    std::vector<std::pair<std::string, int>> table;
    std::vector<std::string> actions;
    std::vector<Answer> answers;
    int outcome;
    std::size_t downloads;
    std::vector<std::string> boxes;
    std::vector<std::string> console_has;
};

class ProgressDialogRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(ProgressDialogRun, OutcomeBarsTextsAndQuestions) {
    const RunCase& c = GetParam();
    test::HostDialogBench bench(c.scenario);
    bench.table(c.table);
    bench.port->answers = c.answers;
    std::string console;
    {
        CfgModeDlg dialog(bench.app);
        console = bench.run(dialog, c.actions);
        EXPECT_EQ(dialog.outcome(), c.outcome) << console;
    }
    EXPECT_EQ(bench.app.exit_code(), c.outcome); // copied at destruction
    EXPECT_EQ(bench.calls("VUPDownloadFirmware").size(), c.downloads) << console;
    EXPECT_EQ(bench.boxes(), c.boxes) << console;
    for (const std::string& line : c.console_has) {
        EXPECT_NE(console.find(line + "\n"), std::string::npos) << line << "\n" << console;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ProgressDialogRun,
    ::testing::Values(
        RunCase{"ThreeSuccessesEndAtAHundred",
                "devices=3\n",
                {{"a.bin", 0}, {"b.bin", 1}, {"c.bin", 2}},
                {"click 1088", "wait"},
                {},
                0,
                3,
                {},
                {"ROW 1081 2 \"c.bin\"|\"COM3 - VUPRecorder\"", "PROGRESS 1084 16",
                 "PROGRESS 1084 32", "PROGRESS 1084 96", "PROGRESS 1084 100",
                 "TEXT 1083 \"Updating COM3 - VUPRecorder...\"", "TEXT 1083 \"Update completed.\"",
                 "TEXT 1086 \"done\"", "CTRL 2 button enabled visible \"Close\"",
                 "CTRL 1088 button disabled visible \"Start\""}},
        RunCase{"SecondFailsAndNoEndsTheRun",
                "devices=3\nresult.VUPDownloadFirmware.1=730\nerror.730=Block refused\n",
                {{"a.bin", 0}, {"b.bin", 1}, {"c.bin", 2}},
                {"click 1088", "wait"},
                {Answer::Ok, Answer::No},
                2,
                2,
                {"Block refused", kContinueQuestion},
                {"TEXT 1083 \"Update failed: COM2 - VUPRecorder\"", "PROGRESS 1084 0",
                 "PROGRESS 1087 0"}},
        RunCase{"SecondFailsAndYesGoesOnButTheRunStaysFailed",
                "devices=3\nresult.VUPDownloadFirmware.1=730\n",
                {{"a.bin", 0}, {"b.bin", 1}, {"c.bin", 2}},
                {"click 1088", "wait"},
                {Answer::Ok, Answer::Yes},
                2,
                3,
                {"Recorder error 730", kContinueQuestion},
                {"TEXT 1083 \"Update completed.\""}},
        RunCase{"ClosedBeforeStartDownloadsNothing",
                "devices=1\n",
                {{"a.bin", 0}},
                {"close"},
                {},
                1,
                0,
                {},
                {"CTRL 1089 button disabled visible \"Device information...\"",
                 "CTRL 1084 progress disabled visible \"\""}},
        RunCase{"AnEntryWithoutADeviceKeepsTheOutcomeFromSuccess",
                "devices=1\n",
                {{"a.bin", 0}, {"b.bin", kNoDevice}},
                {"click 1088", "wait"},
                {},
                kOutcomeNone,
                1,
                {},
                {"PROGRESS 1084 50"}},
        RunCase{"CloseWhileRunningAsksAndAbortsTheDownloadAsAFailure",
                "devices=1\ndownload.hold=1\nresult.VUPDownloadFirmware=212\n",
                {{"a.bin", 0}},
                {"click 1088", "select 1081 0", "escape", "wait", "select 1081 0"},
                {Answer::Yes},
                2,
                1,
                {kCancelQuestion, "Recorder error 212"},
                {"CTRL 2 button enabled visible \"Cancel\"", "TEXT 1086 \"half way\"",
                 "CTRL 1089 button enabled visible \"Device information...\""}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ProgressDialog, AMobileTerminalsEntryAfterTheTablesFirstWaitsTenSeconds) {
    // 10 s at 5 % of real time: 500 ms.
    platform::set_time_scale_percent(5);
    struct Case {
        const char* name;
        const char* plugin;
        std::vector<std::pair<std::string, int>> table;
        bool waits;
    };
    const Case cases[] = {
        {"first entry only", "VUPMobileRec", {{"a.bin", 0}}, false},
        {"second entry", "VUPMobileRec", {{"a.bin", 0}, {"b.bin", 1}}, true},
        {"first without device", "VUPMobileRec", {{"a.bin", kNoDevice}, {"b.bin", 1}}, true},
        {"not a mobile terminal", "VUPRecorder", {{"a.bin", 0}, {"b.bin", 1}}, false},
    };
    for (const Case& c : cases) {
        test::HostDialogBench bench("devices=2\n", c.plugin);
        bench.table(c.table);
        CfgModeDlg dialog(bench.app);
        const auto started = platform::monotonic_ms();
        bench.run(dialog, {"click 1088", "wait"});
        const auto elapsed = platform::monotonic_ms() - started;
        if (c.waits) {
            EXPECT_GE(elapsed, 500u) << c.name;
        } else {
            EXPECT_LT(elapsed, 500u) << c.name;
        }
        EXPECT_EQ(dialog.outcome(), c.table.front().second == kNoDevice ? kOutcomeNone : 0)
            << c.name;
    }
    platform::set_time_scale_percent(0);
}

} // namespace
} // namespace morlin
