// The whole road of a configured download: Morlin reads its configuration, binds the terminal
// plug-in VUPPorta, lists a simulated Halvane terminal and downloads the image into it over
// the terminal's protocol. Protocol waits are scaled down (MORLIN_TIME_SCALE).
#include "host/host_texts.h"
#include "host/runs/parallel_downloads.h"
#include "platform/foundation/clock.h"
#include "sample_image.h"
#include "sim/terminal_simulator.h"
#include "tests/update_run/terminal_folder.h"

#include <gtest/gtest.h>

namespace morlin {
namespace {

constexpr const char* kTimeScale = "10";

class EndToEnd : public test::TerminalFolderTest {
  protected:
    void SetUp() override {
        TerminalFolderTest::SetUp();
        ASSERT_TRUE(texts_.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
    }

    std::vector<std::uint8_t> write_image(const std::string& name,
                                          const sample::ImageRecipe& recipe) {
        const std::vector<std::uint8_t> image = sample::make_image(recipe);
        test::write_bytes(folder_.file(name), image);
        return image;
    }
    test::MorlinRun run() const { return folder_.run({}, {{"MORLIN_TIME_SCALE", kTimeScale}}); }
    bool shows(const test::MorlinRun& run, int id) const {
        return run.boxes.size() == 1 &&
               run.boxes[0].find("] " + texts_.text_or_number(id)) != std::string::npos;
    }

    HostTexts texts_;
};

TEST_F(EndToEnd, FirmwareAndApplicationImagesReachTheTerminalWhole) {
    start_terminal();
    sample::ImageRecipe firmware;
    firmware.size = 5000;
    const auto firmware_bytes = write_image("fw.bin", firmware);
    ASSERT_TRUE(folder_.config(test::silent_config({"fw.bin"})));
    test::MorlinRun result = run();
    EXPECT_TRUE(shows(result, kStrSilentRunSucceeded))
        << testing::PrintToString(result.boxes) << result.log;
    EXPECT_EQ(terminal_->downloads_completed(), 1u);
    EXPECT_EQ(terminal_->received_image(), firmware_bytes);
    EXPECT_TRUE(result.log_has("Morlin(1652) :Preparing to download fw.bin"));

    sample::ImageRecipe application;
    application.kind = sample::ImageKind::Application;
    application.size = 70000; // one block of 65536 bytes and a rest
    application.major = 1;
    application.minor = 20;
    const auto application_bytes = write_image("app.bin", application);
    ASSERT_TRUE(folder_.config(test::silent_config({"app.bin"})));
    result = run();
    EXPECT_TRUE(shows(result, kStrSilentRunSucceeded))
        << testing::PrintToString(result.boxes) << result.log;
    EXPECT_EQ(terminal_->downloads_completed(), 2u);
    EXPECT_EQ(terminal_->received_image(), application_bytes);
}

TEST_F(EndToEnd, ATerminalUnpluggedDuringTheTransferFailsTheRun) {
    sim::SimulatorOptions options;
    options.faults.unplug_after_data_blocks = 2;
    start_terminal(options);
    write_image("fw.bin", sample::ImageRecipe{});
    ASSERT_TRUE(folder_.config(test::silent_config({"fw.bin"})));
    const test::MorlinRun result = run();
    EXPECT_TRUE(shows(result, kStrSilentRunFailed)) << testing::PrintToString(result.boxes);
    EXPECT_EQ(terminal_->downloads_completed(), 0u);
    EXPECT_EQ(result.log_lines_with("Download to device 0 failed").size(), 1u) << result.log;
    EXPECT_EQ(result.exit_code, 255);
}

TEST_F(EndToEnd, ATerminalGoneBetweenListingAndDownloadFailsTheRun) {
    sim::SimulatorOptions options;
    options.faults.unplug_after_status_queries = 1; // answers the filter's query, then leaves
    start_terminal(options);
    write_image("fw.bin", sample::ImageRecipe{});
    ASSERT_TRUE(folder_.config(test::silent_config({"fw.bin"})));
    const test::MorlinRun result = run();
    EXPECT_TRUE(shows(result, kStrSilentRunFailed))
        << testing::PrintToString(result.boxes) << result.log;
    EXPECT_EQ(terminal_->downloads_completed(), 0u);
    EXPECT_EQ(result.log_lines_with("Download to device 0 failed").size(), 1u) << result.log;
}

// /PARALLEL: one image for eight terminals, each downloaded on a lane of its own at the same
// time; the terminal unplugged in the middle fails alone, the others hold the whole image.
TEST_F(EndToEnd, ParallelRunUpdatesEveryTerminalAndAnUnplugFailsOnlyItsOwn) {
    std::vector<std::unique_ptr<sim::TerminalSimulator>> terminals;
    for (int n = 1; n <= 8; ++n) {
        sim::SimulatorOptions options;
        options.devices_dir = folder_.file("devices");
        options.serial = "SIM" + std::to_string(1000 + n);
        options.faults.unplug_after_data_blocks = n == 3 ? 2 : 0;
        std::string error;
        terminals.push_back(sim::TerminalSimulator::start(options, &error));
        ASSERT_TRUE(terminals.back()) << error;
    }
    const auto image = write_image("fw.bin", sample::ImageRecipe{});
    ASSERT_TRUE(folder_.config(test::silent_config({"fw.bin"})));
    const test::MorlinRun result = folder_.run("/PARALLEL", {{"MORLIN_TIME_SCALE", kTimeScale}});

    EXPECT_TRUE(shows(result, kStrSilentRunFailed)) << testing::PrintToString(result.boxes);
    for (std::size_t n = 0; n < terminals.size(); ++n) {
        EXPECT_EQ(terminals[n]->downloads_completed(), n == 2 ? 0u : 1u) << n;
        if (n != 2) {
            EXPECT_EQ(terminals[n]->received_image(), image) << n;
        }
        terminals[n]->stop();
    }
    EXPECT_TRUE(result.log_has("Parallel run: 8 downloads on 8 lanes")) << result.log;
    EXPECT_EQ(result.log_lines_with("ended with 0 (success)").size(), 7u);
    EXPECT_EQ(result.log_lines_with("ended with 212 (failed)").size(), 1u) << result.log;
    // The lanes ran side by side: every lane started before the first one ended, and each of
    // their lines names its device.
    const std::string first_end = result.log_lines_with(" ended with ").front();
    const auto starts = result.log_lines_with("Preparing to download");
    ASSERT_EQ(starts.size(), 8u);
    EXPECT_LT(result.log.find(starts.back()), result.log.find(first_end)) << result.log;
    EXPECT_EQ(result.log_lines_with("] Morlin(1655) :Selected device").size(), 8u);
}

// Lanes: a device's entries keep their order, a plug-in that does not allow parallel
// downloads gets one lane for all its entries.
TEST(DownloadLanes, SplitByDeviceWhereAllowedElseByPlugin) {
    struct Case {
        std::vector<LaneEntry> entries;
        std::vector<std::vector<int>> lanes;
    };
    const Case cases[] = {
        {{{0, 0, 0, true}, {1, 0, 1, true}, {2, 0, 2, true}}, {{0}, {1}, {2}}},
        {{{0, 0, 1, true}, {1, 0, 0, true}, {3, 0, 1, true}}, {{0, 3}, {1}}},
        {{{0, 0, 0, false}, {1, 0, 1, false}, {2, 0, 2, false}}, {{0, 1, 2}}},
        {{{0, 1, 0, false}, {1, 0, 0, true}, {2, 1, 1, false}, {4, 0, 1, true}},
         {{0, 2}, {1}, {4}}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(download_lanes(c.entries), c.lanes);
    }
}

TEST_F(EndToEnd, FilesThePluginCannotUseLeaveOnlyTheFailureBox) {
    start_terminal();
    test::write_text(folder_.file("foreign.bin"), std::string(300, 'x')); // no image type
    test::write_text(folder_.file("empty.bin"), "");
    ASSERT_TRUE(folder_.config(test::silent_config({"missing.bin", "foreign.bin", "empty.bin"})));
    const test::MorlinRun result = run();
    EXPECT_TRUE(shows(result, kStrSilentRunFailed)) << testing::PrintToString(result.boxes);
    EXPECT_TRUE(result.log_has("Morlin(363) :"));
    EXPECT_EQ(terminal_->downloads_completed(), 0u);
    EXPECT_EQ(result.exit_code, 0);
}

// The example of docs/simulation.md as a newcomer types it: the HalvaneSim program with
// sim/scenarios/demo.scenario (and the usage's own "--exit-after-download yes"), Morlin
// answering the stored-records question with yes. The simulator ends only after the final
// acknowledgement has left, so the download succeeds and the received image is whole. The
// fault showed on the line at its real 57600 baud, so this runs in real time, with the
// smallest image.
TEST_F(EndToEnd, DocumentedDemoScenarioRunsAsPrinted) {
    sample::ImageRecipe recipe;
    recipe.size = sample::kMinimumImageSize;
    const auto image = write_image("fw.bin", recipe);
    ASSERT_TRUE(folder_.config(test::silent_config({"fw.bin"})));
    const std::string dir = folder_.path();
    const std::string bin = MORLIN_BIN_DIR;
    const std::string script =
        "cd '" + dir + "' && export MORLIN_DEVICES='" + dir + "/devices'\n" +
        // The simulator waits for a download; should Morlin fail, SIGINT ends it.
        "timeout -s INT 60 '" + bin + "/HalvaneSim' --scenario '" + MORLIN_SOURCE_DIR +
        "/sim/scenarios/demo.scenario' --image-out received.bin --exit-after-download yes "
        ">sim.out 2>sim.err &\nsim=$!\n"
        "for i in $(seq 100); do grep -q READY sim.out && break; sleep 0.05; done\n"
        "MORLIN_UI=console MORLIN_UI_ANSWERS=yes MORLIN_INHIBIT=none LC_ALL=C TMPDIR='" +
        dir + "/tmp' MORLIN_LOG_FILE=Morlin.log MORLIN_INSTANCE_SCOPE='" + dir + "' '" + bin +
        "/Morlin' 2>morlin.err\n"
        "if ! grep -q 'completed successfully' morlin.err; then kill -INT $sim; fi\n"
        "wait $sim; echo $? >sim.rc\n"
        // A port name the CT-API library would skip is warned about.
        "timeout -s INT 1 '" +
        bin + "/HalvaneSim' --announce no --port-name COM123456 >/dev/null 2>long.err\ntrue\n";
    test::write_text(folder_.file("demo.sh"), script);
    ASSERT_EQ(std::system(("bash '" + folder_.file("demo.sh") + "'").c_str()), 0);

    const std::string boxes = test::read_text(folder_.file("morlin.err"));
    EXPECT_NE(boxes.find("stored records"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find(texts_.text_or_number(kStrSilentRunSucceeded)), std::string::npos)
        << boxes << test::read_text(folder_.file("Morlin.log"));
    EXPECT_EQ(test::read_text(folder_.file("sim.rc")), "0\n")
        << test::read_text(folder_.file("sim.err"));
    EXPECT_NE(test::read_text(folder_.file("sim.out"))
                  .find("RECEIVED " + std::to_string(image.size()) + " bytes sha256="),
              std::string::npos);
    EXPECT_EQ(test::read_text(folder_.file("received.bin")),
              std::string(image.begin(), image.end()));
    EXPECT_NE(test::read_text(folder_.file("long.err"))
                  .find("port name COM123456 is longer than 7 characters"),
              std::string::npos);
}

} // namespace
} // namespace morlin
