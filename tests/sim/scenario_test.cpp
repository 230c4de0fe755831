#include "sim/scenario.h"
#include "tests/common/pipe_guard.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sim {
namespace {

TEST(Scenario, AppliesEveryKindOfSetting) {
    Scenario scenario;
    std::string error;
    const char* text = "# a Pellax with old firmware\n"
                       "model = Pellax\n"
                       "port_name = COM9\n"
                       "announce_as = modem\n"
                       "line_baud = 57600\n"
                       "app_version = 2.10\n"
                       "fw_version = 1.3.7\n"
                       "fw_encoding = text\n"
                       "stored_records = 3\n"
                       "download_states = 4, 4,1\n"
                       "identification = ABC\n"
                       "status_word = 6A 82\n"
                       "reset_status_word = 0x9000\n"
                       "wrong_answer_data_block = 3\n"
                       "wrong_answer_byte = 'f'\n"
                       "unplug_during_handshake = yes\n"
                       "card_content = 01 02 0a\n"
                       "; another comment\n"
                       "\n"
                       "exit_after_download = true\n";
    ASSERT_TRUE(apply_scenario_text(scenario, text, error)) << error;
    const SimulatorOptions& o = scenario.options;
    EXPECT_EQ(o.model, TerminalModel::Pellax);
    EXPECT_EQ(o.port_name, "COM9");
    EXPECT_EQ(o.announce_as, AnnounceAs::Modem9x);
    EXPECT_EQ(o.line_baud, 57600u);
    EXPECT_EQ(o.status.app_major, 2);
    EXPECT_EQ(o.status.app_minor, 10);
    EXPECT_EQ(o.status.fw_build, 7);
    EXPECT_EQ(o.status.fw_encoding, VersionEncoding::Text);
    EXPECT_EQ(o.status.stored_records, 3);
    EXPECT_EQ(o.status.download_states, (std::vector<std::uint8_t>{4, 4, 1}));
    EXPECT_EQ(o.status.identification[13], 'C');
    EXPECT_EQ(o.status.identification[10], 0);
    EXPECT_EQ(o.status.status_word, 0x6A82);
    EXPECT_EQ(o.status.reset_status_word, 0x9000);
    EXPECT_EQ(o.faults.wrong_answer_data_block, 3u);
    EXPECT_EQ(o.faults.wrong_answer_byte, 'f');
    EXPECT_TRUE(o.faults.unplug_during_handshake);
    EXPECT_EQ(o.card_content, (std::vector<std::uint8_t>{1, 2, 10}));
    EXPECT_TRUE(scenario.exit_after_download);
}

TEST(Scenario, OptionSpellingWithDashes) {
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(apply_setting(scenario, "image-out", "x.bin", error)) << error;
    ASSERT_TRUE(apply_setting(scenario, "Response-Delay-Ms", "20", error)) << error;
    EXPECT_EQ(scenario.image_out, "x.bin");
    EXPECT_EQ(scenario.options.response_delay_ms, 20u);
}

TEST(Scenario, RejectsBadLinesWithTheirNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"model = halvane\nbogus = 1\n", "line 2: unknown setting"},
        {"tcp_port = 70000\n", "line 1: bad value"},
        {"app_version = 1.2.3\n", "bad value"},
        {"status_word = 6A8\n", "bad value"},
        {"identification = 123456789012345\n", "bad value"},
        {"no equals sign\n", "line 1: expected key = value"},
        {"download_states = \n", "bad value"},
        {"line_baud = -1\n", "bad value"},
        {"app_text = 123456\n", "bad value"},
    };
    for (const auto& [text, expected] : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(apply_scenario_text(scenario, text, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " gave " << error;
    }
}

TEST(Scenario, ShippedExamplesAreValid) {
    for (const char* name : {"demo.scenario", "faults.scenario"}) {
        Scenario scenario;
        std::string error;
        EXPECT_TRUE(apply_scenario_file(
            scenario, std::string(MORLIN_SOURCE_DIR) + "/sim/scenarios/" + name, error))
            << error;
    }
}

TEST(Scenario, MissingFileIsAnError) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(apply_scenario_file(scenario, "/nonexistent/scenario.txt", error));
    EXPECT_FALSE(error.empty());
}

TEST(Scenario, PipeIsRefusedWithoutWaiting) {
    morlin_test::TempDir folder;
    const auto pipe = folder.path() / "faults.scenario";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::string error;
    EXPECT_TRUE(morlin_test::ends_without_waiting_on({pipe}, [&] {
        Scenario scenario;
        EXPECT_FALSE(apply_scenario_file(scenario, pipe.string(), error));
    }));
    EXPECT_EQ(error, "cannot read " + pipe.string());
}

} // namespace
} // namespace sim
