// The configuration editor and a configured run with GUI "yes" as the real program runs them
// on the console: /CE writes a file that MorlinCfg and the reader read back the same, and the
// progress dialog downloads into three simulated terminals through VUPPorta.
#include "host/config/cfg_tool.h"
#include "platform/foundation/clock.h"
#include "sample_image.h"
#include "sim/terminal_simulator.h"
#include "tests/update_run/morlin_run.h"

#include <gtest/gtest.h>
#include <sstream>

namespace morlin {
namespace {

struct Console {
    test::MorlinRun run;
    std::string err; // what the program wrote on standard error
    bool has(const std::string& line) const { return err.find(line + "\n") != std::string::npos; }
};

Console run_console(const test::MorlinFolder& folder, const std::string& arguments,
                    const std::string& actions, const std::string& answers = {}) {
    Console console{folder.run(arguments, {{"MORLIN_UI_ACTIONS", actions},
                                           {"MORLIN_UI_ANSWERS", answers},
                                           {"MORLIN_TIME_SCALE", "10"},
                                           {"MORLIN_RESULT_FILE", folder.file("runs.jsonl")}}),
                    {}};
    console.err = test::read_text(folder.file("stderr.txt"));
    return console;
}

std::string cfg_show(const std::string& path) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(run_cfg_tool({"show", path}, out, err), 0) << err.str();
    return out.str();
}

TEST(ConfiguredCourse, EditorWritesWhatMorlinCfgAndTheReaderReadBack) {
    test::MorlinFolder folder;
    folder.add_test_plugin("VUPRecorder");
    folder.scenario("accept=*.bin\n");
    for (const char* file : {"a.bin", "b.bin", "c.sig"}) {
        folder.firmware_file(file);
    }
    // GUI YES, RETRIES 3; b.bin and a.bin checked, in that order.
    const Console edited =
        run_console(folder, "/CE",
                    "click 1052;select 1074 11;click 1;click 1052;click 1072;type 1078 3;click 1;"
                    "check 1056 0;check 1056 1;select 1056 1;click 1057;click 1059;close",
                    "yes");
    EXPECT_EQ(edited.run.exit_code, 0) << edited.err;
    EXPECT_TRUE(edited.has("DIALOG 134 \"Configuration\"")) << edited.err;
    EXPECT_TRUE(edited.has("ROW 1056 0 \"b.bin\" checked selected")) << edited.err;
    EXPECT_TRUE(edited.has("END 134 cancel")) << edited.err;
    const std::string shown = cfg_show(folder.file("Morlin.cfg"));
    EXPECT_NE(shown.find(" (matches)\nOptions (2):\n  GUI = YES\n  RETRIES = 3\n"
                         "Download files (2):\n  1. b.bin\n  2. a.bin\nSymLink: (none)\n"),
              std::string::npos)
        << shown;

    // The host's reader takes the same: a configured run of b.bin and a.bin, with its dialog.
    const Console run = run_console(folder, "", "close");
    EXPECT_EQ(run.run.exit_code, 1) << run.err;
    EXPECT_TRUE(run.has("ROW 1081 0 \"b.bin\"|\"COM1 - VUPRecorder\"")) << run.err;
    EXPECT_TRUE(run.has("END 136 cancel")) << run.err;
}

class TerminalsRun : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::set_time_scale_percent(10);
        folder_.add_library(std::string(MORLIN_BIN_DIR) + "/VUPPorta.so", "VUPPorta.so");
        std::filesystem::create_directories(folder_.file("devices"));
        test::write_bytes(folder_.file("fw.bin"), sample::make_image(sample::ImageRecipe{}));
        ConfigContents contents;
        contents.options = {{"GUI", "yes"}, {"BACKUP", "no"}};
        contents.downloads = {"fw.bin"}; // one file, three terminals: three entries
        ASSERT_TRUE(folder_.config(contents));
    }
    void TearDown() override {
        for (auto& terminal : terminals_) {
            terminal->stop();
        }
        platform::set_time_scale_percent(0);
    }
    // The table's first entry gets the last candidate (COM5), its copies the others in list
    // order: the second entry is the terminal on COM3.
    void start_terminals(std::uint32_t failing_block, int count = 3, int failing = 0) {
        for (int i = 0; i < count; ++i) {
            sim::SimulatorOptions options;
            options.devices_dir = folder_.file("devices");
            options.serial = "SIM000" + std::to_string(i + 1);
            options.port_name = "COM" + std::to_string(i + 3);
            if (i == failing) {
                options.faults.unplug_after_data_blocks = failing_block;
            }
            std::string error;
            terminals_.push_back(sim::TerminalSimulator::start(options, &error));
            ASSERT_TRUE(terminals_.back()) << error;
        }
    }
    std::size_t completed() const {
        std::size_t total = 0;
        for (const auto& terminal : terminals_) {
            total += terminal->downloads_completed();
        }
        return total;
    }

    test::MorlinFolder folder_;
    std::vector<std::unique_ptr<sim::TerminalSimulator>> terminals_;
};

TEST_F(TerminalsRun, ThreeTerminalsAreUpdatedOneAfterAnother) {
    start_terminals(0);
    const Console run = run_console(folder_, "", "click 1088;wait;close");
    EXPECT_EQ(run.run.exit_code, 0) << run.err << run.run.log;
    EXPECT_EQ(completed(), 3u);
    EXPECT_TRUE(run.has("PROGRESS 1084 16")) << run.err;
    EXPECT_TRUE(run.has("PROGRESS 1084 100")) << run.err;
    EXPECT_EQ(run.run.log_lines_with("CfgModeDlg(489) :Preparing to download fw.bin").size(), 3u);
}

TEST_F(TerminalsRun, ASecondTerminalThatFailsAsksBeforeTheThirdAndNoEndsWith2) {
    start_terminals(1);
    const Console run = run_console(folder_, "", "click 1088;wait;close", "ok,no");
    EXPECT_EQ(run.run.exit_code, 2) << run.err << run.run.log;
    EXPECT_EQ(completed(), 1u);
    EXPECT_NE(run.err.find("MSGBOX warning yesno [Morlin] The last download failed. Do you want "
                           "to continue with the next device? => no"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(run.has("PROGRESS 1084 0")) << run.err;
}

// /PARALLEL, four terminals, a lane each; the second file goes to the table's first terminal
// (COM6), which fails: only its lane asks before its next entry (Yes) and waits before it.
// Every row shows its bar and status. A cancel ends every lane.
TEST_F(TerminalsRun, InLanesEveryRowHasItsBarAndAFailureAsksOnlyInItsLane) {
    test::write_bytes(folder_.file("fw2.bin"), sample::make_image(sample::ImageRecipe{}));
    ConfigContents contents;
    contents.options = {{"GUI", "yes"}, {"BACKUP", "no"}};
    contents.downloads = {"fw.bin", "fw2.bin"};
    ASSERT_TRUE(folder_.config(contents));
    start_terminals(1, 4, 3);
    const Console run = run_console(folder_, "/PARALLEL", "click 1088;wait;close", "yes");
    EXPECT_EQ(run.run.exit_code, 2) << run.err << run.run.log;
    EXPECT_EQ(completed(), 3u);
    EXPECT_TRUE(run.run.log_has("Parallel run: 5 downloads on 4 lanes")) << run.run.log;
    const std::string question = "MSGBOX warning yesno [Morlin] The last download failed.";
    EXPECT_NE(run.err.find(question), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(question), run.err.rfind(question));
    EXPECT_EQ(run.run.log_lines_with(":Waiting 10 s before the next download"),
              std::vector<std::string>{
                  "[COM6 - Halvane] Morlin :Waiting 10 s before the next download into this "
                  "terminal"});
    EXPECT_TRUE(run.has("CTRL 1087 progress disabled hidden \"\"")) << run.err;
    EXPECT_TRUE(run.has("ROW 1081 2 \"fw.bin\"|\"COM4 - Halvane\"|\"100\"|\"Update completed.\""))
        << run.err;
    EXPECT_NE(run.err.find("ROW 1081 4 \"fw2.bin\"|\"COM6 - Halvane\"|\"0\"|\"Update failed: "),
              std::string::npos)
        << run.err;
    const std::string history = test::read_text(folder_.file("runs.jsonl"));
    EXPECT_NE(history.find("\"device\":\"COM5 - Halvane\",\"result\":0"), std::string::npos);
    EXPECT_NE(history.find("\"file\":\"fw2.bin\",\"plugin\":\"VUPPorta.so\",\"device\":"
                           "\"COM6 - Halvane\",\"result\":729"),
              std::string::npos)
        << history;

    const Console cancelled = run_console(folder_, "/PARALLEL", "click 1088;close", "yes");
    // 2 when a lane's download had started (it ends with 212), else 1.
    EXPECT_TRUE(cancelled.run.exit_code == 2 || cancelled.run.exit_code == 1)
        << cancelled.err << cancelled.run.log;
    EXPECT_EQ(completed(), 3u);
    EXPECT_TRUE(cancelled.run.log_has("Morlin :Cancel: every download is ended as a cancel"))
        << cancelled.run.log;
}

} // namespace
} // namespace morlin
