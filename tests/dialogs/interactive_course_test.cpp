// Morlin's interactive course and device information display on the console, scripted through
// MORLIN_UI_ACTIONS: with the recording test plug-in for every exit code and edge of the main
// window, and end to end with the terminal plug-in and a simulated terminal.
#include "platform/foundation/clock.h"
#include "sample_image.h"
#include "sim/terminal_simulator.h"
#include "tests/update_run/terminal_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace morlin {
namespace {

struct Session : test::MorlinRun {
    std::string err; // everything Morlin wrote on standard error
    bool has_line(const std::string& line) const {
        return err.find("\n" + line + "\n") != std::string::npos || err.rfind(line + "\n", 0) == 0;
    }
    bool has(const std::string& text) const { return err.find(text) != std::string::npos; }
};

Session run_course(const test::MorlinFolder& folder, const std::string& actions,
                   std::map<std::string, std::string> env = {}, const std::string& args = {}) {
    env.emplace("MORLIN_UI_ACTIONS", actions);
    env.emplace("MORLIN_TIME_SCALE", "10");
    Session session{folder.run(args, std::move(env)), {}};
    session.err = test::read_text(folder.file("stderr.txt"));
    return session;
}

struct CourseCase {
    const char* name;
    const char* scenario;
    const char* actions;
    const char* answers;
    int exit_code;
    std::vector<const char*> expected;  // lines or texts on standard error
    std::vector<const char*> forbidden; // texts that must not be there
};

class InteractiveCourse : public ::testing::TestWithParam<CourseCase> {};

TEST_P(InteractiveCourse, ReachesItsExitCode) {
    const CourseCase& c = GetParam();
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.firmware_file("fw.bin");
    folder.scenario(c.scenario);
    const Session result =
        run_course(folder, c.actions,
                   {{"MORLIN_UI_FILES", "fw.bin,cancel"}, {"MORLIN_UI_ANSWERS", c.answers}});
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    for (const char* text : c.expected) {
        EXPECT_TRUE(result.has(text)) << "missing: " << text << "\n" << result.err;
    }
    for (const char* text : c.forbidden) {
        EXPECT_FALSE(result.has(text)) << "unexpected: " << text << "\n" << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Courses, InteractiveCourse,
    ::testing::Values(
        CourseCase{"ClosedBeforeAnyRun",
                   "devices=1\n",
                   "close",
                   "",
                   1,
                   {"DIALOG 102 \"Morlin Integrated Firmware Update Utility\"", "END 102 cancel"},
                   {"VUPDownloadFirmware"}},
        CourseCase{"SuccessfulDownload",
                   "devices=2\n",
                   "click 1003;select 1006 1;click 1010;wait;close",
                   "",
                   0,
                   {"ROW 1006 1 \"COM2 - VUPRecorder\" selected", "TEXT 1035 \"done\"",
                    "PROGRESS 1005 100", "CTRL 2 button enabled visible \"Cancel\""},
                   {"MSGBOX"}},
        CourseCase{"AHugeStepCountFillsTheBar",
                   "devices=1\ndownload.steps=2147483647\n",
                   "click 1003;click 1010;wait;close",
                   "",
                   0,
                   {"PROGRESS 1005 50", "PROGRESS 1005 100"},
                   {}},
        CourseCase{"FailedDownloadShowsThePluginsMessage",
                   "devices=1\nresult.VUPDownloadFirmware=730\nerror.730=Block refused\n",
                   "click 1003;click 1010;wait;close",
                   "",
                   2,
                   {"MSGBOX error ok [Morlin] Block refused => ok",
                    "CTRL 1010 button disabled visible \"Start\""},
                   {}},
        CourseCase{"CancelledRunEndedByThePluginWith212",
                   "devices=1\ndownload.hold=1\nresult.VUPDownloadFirmware=212\n",
                   "click 1003;click 1010;close;wait;close",
                   "yes",
                   2,
                   {"TEXT 1035 \"half way\"", "PROGRESS 1005 50",
                    "MSGBOX warning yesno [Morlin] A firmware update is running. Do you want to "
                    "cancel it? => yes",
                    "Recorder error 212"},
                   {}},
        CourseCase{"DeclinedWarningShowsNoBoxAndAllowsAnotherTry",
                   "devices=1\nresult.VUPDownloadFirmware=751\n",
                   "click 1003;click 1010;wait;close",
                   "",
                   2,
                   {"CTRL 1010 button enabled visible \"Start\"",
                    "CTRL 1003 button enabled visible \"Browse...\"",
                    "CTRL 1000 radio disabled visible"},
                   {"MSGBOX"}},
        CourseCase{"RefusedDownloadShowsTheBoxAndAllowsAnotherTry",
                   "devices=1\nresult.VUPDownloadFirmware=735\n",
                   "click 1003;click 1010;wait;close",
                   "",
                   2,
                   {"MSGBOX error ok [Morlin] Recorder error 735",
                    "CTRL 1012 button enabled visible \"Device information...\""},
                   {}},
        CourseCase{"UploadWithoutADeviceToOfferShows734",
                   "devices=2\ndevice.0.name=Twin\ndevice.1.name=Twin\n",
                   "click 1001;close",
                   "",
                   1,
                   {"MSGBOX error ok [Morlin] Reading the firmware from the device is not "
                    "supported.",
                    "CTRL 1001 radio disabled visible", "CTRL 1003 button disabled visible"},
                   {}},
        CourseCase{"DeviceInformationInUploadModeShowsTheListedDevice",
                   "devices=1\n",
                   "click 1001;click 1012;click 1;close",
                   "",
                   1,
                   {"DIALOG 129 \"Device information\""},
                   {"No device was found"}},
        CourseCase{"HelpNamesTheUserGuideBesideTheProgram",
                   "devices=1\n",
                   "menu 57667;close",
                   "",
                   1,
                   {"LINK \"" MORLIN_BIN_DIR "/Morlin.html\""},
                   {}},
        CourseCase{"NoUploadMeansTemplate152WithoutModeButtons",
                   "devices=1\nresult.VUPIsUploadSupported=734\n",
                   "click 1000;close",
                   "",
                   1,
                   {"DIALOG 152 ", "CTRL 1000 radio disabled hidden",
                    "UI-WARNING control 1000 is not available"},
                   {"DIALOG 102"}},
        CourseCase{"SameDeviceTextTwiceIsRefusedWithString103",
                   "devices=2\ndevice.0.name=Twin\ndevice.1.name=Twin\n",
                   "click 1003;close",
                   "",
                   1,
                   {"Several connected devices are called Twin."},
                   {"CTRL 1010 button enabled"}},
        CourseCase{"WrongActionsAreReportedAndSkipped",
                   "devices=1\n",
                   "click 1010;select 1006 7;jump 3;menu 99;close",
                   "",
                   1,
                   {"UI-WARNING control 1010 is not available", "UI-WARNING unknown action",
                    "UI-WARNING the system menu has no command 99"},
                   {}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(InteractiveCourseExtras, AboutBoxAndDeviceInformationOpenAsChildDialogs) {
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.firmware_file("fw.bin");
    folder.scenario("devices=1\ndllinfo.2=https://example.org/firmware\n");
    const Session result =
        run_course(folder, "menu 16;click 1061;click 1;click 1003;click 1012;click 1;close",
                   {{"MORLIN_UI_FILES", "fw.bin"}});
    EXPECT_EQ(result.exit_code, 1) << result.err;
    EXPECT_TRUE(result.has("DIALOG 100 \"About Morlin\"")) << result.err;
    EXPECT_TRUE(result.has_line("LINK \"https://example.org/firmware\"")) << result.err;
    EXPECT_TRUE(result.has("DIALOG 129 \"Device information\"")) << result.err;
    // File mode: three columns, the file handed to the plug-in.
    EXPECT_TRUE(result.has("ROW 1018 0 \"Product\"|\"VUPRecorder\"|\"\"")) << result.err;
    EXPECT_EQ(result.calls_of("VUPGetDisplayInfo").size(), 1u);
    // The user guide that Help opens is built beside the program.
    EXPECT_NE(test::read_text(MORLIN_BIN_DIR "/Morlin.html").find("<table>"), std::string::npos);
}

TEST(InteractiveCourseExtras, DisableHelpLeavesOnlyAboutAndUploadNamesGetTheDefaultExtension) {
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.scenario("devices=1\n");
    ConfigContents contents;
    contents.options = {{"DISABLEHELP", "yes"}, {"SIGFILEONLY", "yes"}};
    ASSERT_TRUE(folder.config(contents)); // no download files: the interactive course
    const Session result = run_course(folder, "menu 57667;click 1001;click 1003;click 1010;wait",
                                      {{"MORLIN_UI_FILES", "upload"}});
    EXPECT_TRUE(result.has("UI-WARNING the system menu has no command 57667")) << result.err;
    EXPECT_TRUE(result.has("/upload.ALL")) << result.err;
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(result.calls_of("VUPUploadFirmware").size(), 1u);
    EXPECT_NE(result.calls_of("VUPUploadFirmware")[0].find("upload.ALL progress=1 abort=0"),
              std::string::npos);
}

TEST(InteractiveCourseExtras, FallBackFromAConfiguredRunEndsWith255) {
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.scenario("devices=1\ncandidates=none\n");
    folder.firmware_file("fw.bin");
    ConfigContents contents;
    contents.downloads = {"fw.bin"}; // GUI not given: not silent; no device matches the file
    ASSERT_TRUE(folder.config(contents));
    const Session result = run_course(folder, "close");
    EXPECT_EQ(result.exit_code, 255) << result.err;
    EXPECT_TRUE(result.has("END 102 cancel")) << result.err;
}

TEST(InteractiveCourseExtras, ASecondInstanceSaysThatMorlinIsAlreadyRunning) {
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.firmware_file("fw.bin");
    folder.scenario("devices=1\ndownload.hold=1\n");
    // The first instance holds a download at half way (its input ends while the run goes on,
    // so it waits for the worker) until it is ended below.
    const std::string first =
        "cd '" + folder.path() + "' && { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM" +
        " MORLIN_UI=console MORLIN_INSTANCE_SCOPE='" + folder.path() + "' XDG_RUNTIME_DIR='" +
        folder.file("run") + "' XDG_STATE_HOME='" + folder.file("state") + "' TMPDIR='" +
        folder.file("tmp") + "' MORLIN_LOG_FILE='" + folder.file("first.log") +
        "' MORLIN_TEST_PLUGIN_SCENARIO='" + folder.file("scenario.txt") +
        "' MORLIN_UI_FILES=fw.bin MORLIN_UI_ACTIONS='click 1003;click 1010' '" + MORLIN_BIN_DIR +
        "/Morlin' >first.out 2>first.err & echo $! >first.pid; }";
    ASSERT_EQ(std::system(first.c_str()), 0);
    const pid_t pid = std::atoi(test::read_text(folder.file("first.pid")).c_str());
    ASSERT_GT(pid, 0);
    // Wait (bounded) until the first instance's download stands at half way.
    for (int i = 0; i < 400 && test::read_text(folder.file("first.err")).find("PROGRESS 1005 50") ==
                                   std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const Session second = run_course(folder, "close");
    // The first instance is not this process's child: it is ended (SIGTERM cancels its
    // download) and watched until it is gone or a zombie, else killed.
    const auto gone = [pid] {
        const std::string stat = test::read_text("/proc/" + std::to_string(pid) + "/stat");
        const auto paren = stat.rfind(") ");
        return ::kill(pid, 0) != 0 || (paren != std::string::npos && stat[paren + 2] == 'Z');
    };
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 400 && !gone(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_TRUE(gone()) << "the first instance stayed after SIGTERM";
    if (!gone()) {
        ::kill(pid, SIGKILL);
    }
    EXPECT_EQ(second.exit_code, 0) << second.err;
    EXPECT_TRUE(second.has("Morlin is already running")) << second.err;
    EXPECT_FALSE(second.has("DIALOG")) << second.err;
    EXPECT_FALSE(second.log_exists);
}

// --- end to end with VUPPorta and the simulated terminal -----------------------------------

using TerminalCourse = test::TerminalFolderTest;

TEST_F(TerminalCourse, DownloadIntoTheSimulatorSucceedsAndAFailedOneEndsWith2) {
    start_terminal();
    test::write_bytes(folder_.file("fw.bin"), sample::make_image(sample::ImageRecipe{}));
    Session result =
        run_course(folder_, "click 1003;click 1010;wait;close", {{"MORLIN_UI_FILES", "fw.bin"}});
    EXPECT_EQ(result.exit_code, 0) << result.err << result.log;
    EXPECT_EQ(terminal_->downloads_completed(), 1u);
    EXPECT_TRUE(result.has("PROGRESS 1005")) << result.err;

    test::write_text(folder_.file("broken.bin"), std::string(300, 'x'));
    result = run_course(folder_, "click 1003;close", {{"MORLIN_UI_FILES", "broken.bin"}});
    EXPECT_EQ(result.exit_code, 1) << result.err;
    EXPECT_TRUE(result.has("MSGBOX error")) << result.err;

    terminal_->stop();
    sim::SimulatorOptions failing;
    failing.faults.unplug_after_data_blocks = 1;
    start_terminal(failing);
    result =
        run_course(folder_, "click 1003;click 1010;wait;close", {{"MORLIN_UI_FILES", "fw.bin"}});
    EXPECT_EQ(result.exit_code, 2) << result.err << result.log;
    EXPECT_EQ(terminal_->downloads_completed(), 0u);
}

TEST_F(TerminalCourse, DeviceInformationDisplayListsTheTerminalAndSavesTwice) {
    start_terminal();
    const Session result = run_course(folder_, "click 1022;click 1022;click 1",
                                      {{"MORLIN_UI_FILES", "DevInfo.txt,DevInfo.txt"}}, "/DI");
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(result.has("DIALOG 129 \"Device information\"")) << result.err;
    EXPECT_TRUE(result.has("ROW 1019 0 \"")) << result.err;
    EXPECT_TRUE(result.has("ROW 1018 0 \"")) << result.err;
    const std::string saved = test::read_text(folder_.file("DevInfo.txt"));
    std::size_t blocks = 0;
    for (std::size_t at = saved.find("Morlin - Device Information Display ");
         at != std::string::npos; at = saved.find("Morlin - Device Information Display ", at + 1)) {
        ++blocks;
    }
    EXPECT_EQ(blocks, 2u) << saved;
    EXPECT_NE(saved.find("\r\n" + std::string(57, '-') + "\r\n"), std::string::npos) << saved;
}

} // namespace
} // namespace morlin
