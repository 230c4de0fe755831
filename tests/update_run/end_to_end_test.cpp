// The whole road of a configured download: Morlin reads its configuration, binds the terminal
// plug-in VUPPorta, lists a simulated Halvane terminal and downloads the image into it over
// the terminal's protocol. Protocol waits are scaled down (MORLIN_TIME_SCALE).
#include "host/host_texts.h"
#include "platform/clock.h"
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
        texts_.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so");
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

} // namespace
} // namespace morlin
