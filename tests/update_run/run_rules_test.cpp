// The rules of a configured run that need no plug-in: the candidate count with its preference
// for devices in normal operation, the copies of an entry for several devices, the removal of
// repeated targets, and the backup path.
#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/download_targets.h"
#include "host/plugins/matching.h"
#include "host/runs/backup_path.h"
#include "platform/user_interface/ui.h"
#include "tests/host/test_support.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morlin {
namespace {

// A device list from a picture: one letter per device, 'n' normal operation, 'd' download
// mode; upper case marks a candidate.
DeviceInfoList devices_from(const std::string& picture) {
    DeviceInfoList devices{};
    for (std::size_t i = 0; i < picture.size(); ++i) {
        set_record_field(devices[i].name, "COM" + std::to_string(i + 1));
        devices[i].dfu_mode = (picture[i] == 'd' || picture[i] == 'D') ? 1u : 0u;
        devices[i].candidate = std::isupper(static_cast<unsigned char>(picture[i])) ? 1u : 0u;
    }
    return devices;
}

std::string candidates_of(const DeviceInfoList& devices) {
    std::string flags;
    for (const DeviceInfoEntry& device : devices) {
        if (device.name[0] == '\0') {
            break;
        }
        flags += device.candidate != 0 ? '1' : '0';
    }
    return flags;
}

TEST(CandidateCount, CountsEveryCandidateInNormalOperation) {
    DeviceInfoList devices = devices_from("NnNN");
    const CandidateCount counted = count_candidates(devices, true, 0);
    EXPECT_EQ(counted.count, 3);
    EXPECT_EQ(counted.last_chosen, 3);
    EXPECT_FALSE(counted.all_wait_in_dfu);
    EXPECT_EQ(candidates_of(devices), "1011");
}

// Whatever the order: every candidate in download mode is cleared as soon as one candidate is
// in normal operation, and all the normal ones count.
TEST(CandidateCount, NormalOperationWinsOverDownloadModeInAnyOrder) {
    struct Case {
        const char* picture;
        int count;
        int last_chosen;
        const char* candidates;
    };
    const Case cases[] = {
        {"DN", 1, 1, "01"},     {"ND", 1, 0, "10"},     {"DDN", 1, 2, "001"},
        {"NDDN", 2, 3, "1001"}, {"DDNN", 2, 3, "0011"}, {"DnNdD", 1, 2, "00100"},
    };
    for (const Case& c : cases) {
        DeviceInfoList devices = devices_from(c.picture);
        const CandidateCount counted = count_candidates(devices, true, 0);
        EXPECT_EQ(counted.count, c.count) << c.picture;
        EXPECT_EQ(counted.last_chosen, c.last_chosen) << c.picture;
        EXPECT_FALSE(counted.all_wait_in_dfu) << c.picture;
        EXPECT_EQ(candidates_of(devices), c.candidates) << c.picture;
    }
}

TEST(CandidateCount, SeveralCandidatesAllInDownloadModeCannotBeToldApart) {
    DeviceInfoList devices = devices_from("DnD");
    const CandidateCount counted = count_candidates(devices, true, 0);
    EXPECT_EQ(counted.count, 0);
    EXPECT_TRUE(counted.all_wait_in_dfu);
}

TEST(CandidateCount, OneCandidateInDownloadModeIsTaken) {
    DeviceInfoList devices = devices_from("nD");
    const CandidateCount counted = count_candidates(devices, true, 7);
    EXPECT_EQ(counted.count, 1);
    EXPECT_EQ(counted.last_chosen, 1);
    EXPECT_FALSE(counted.all_wait_in_dfu);
}

TEST(CandidateCount, WithoutThePreferenceEveryCandidateCounts) {
    DeviceInfoList devices = devices_from("DND");
    const CandidateCount counted = count_candidates(devices, false, 0);
    EXPECT_EQ(counted.count, 3);
    EXPECT_FALSE(counted.all_wait_in_dfu);
    EXPECT_EQ(candidates_of(devices), "111");
}

TEST(CandidateCount, NoCandidateKeepsTheLastChosenDevice) {
    DeviceInfoList devices = devices_from("nn");
    const CandidateCount counted = count_candidates(devices, true, 5);
    EXPECT_EQ(counted.count, 0);
    EXPECT_EQ(counted.last_chosen, 5);
    EXPECT_FALSE(counted.all_wait_in_dfu);
}

TEST(CandidateCount, StopsAtTheFirstEmptyDeviceText) {
    DeviceInfoList devices = devices_from("NN");
    devices[3].candidate = 1; // behind the end of the list
    set_record_field(devices[3].name, "stray");
    EXPECT_EQ(count_candidates(devices, true, 0).count, 2);
}

class DownloadTargets : public ::testing::Test {
  protected:
    void SetUp() override {
        app_.plugin_count = 1;
        app_.current_plugin = &app_.plugins[0];
        app_.current_plugin_index = 0;
    }
    void files(int count) {
        app_.download_count = count;
        for (int i = 0; i < count; ++i) {
            set_record_field(app_.downloads[static_cast<std::size_t>(i)].file_name,
                             "file" + std::to_string(i) + ".bin");
        }
    }
    std::string table() const {
        std::string text;
        for (int i = 0; i < app_.download_count; ++i) {
            const DownloadEntry& entry = app_.downloads[static_cast<std::size_t>(i)];
            text += std::string(entry.file_name) + ":" + std::to_string(entry.device_index) + " ";
        }
        return text;
    }
    MorlinApp app_;
};

TEST_F(DownloadTargets, CopiesGoToTheOtherCandidatesInIndexOrder) {
    files(2);
    app_.plugins[0].devices = devices_from("NNnN");
    app_.last_chosen_device = 3;
    EXPECT_EQ(assign_to_candidates(app_, 0, 3), 2);
    EXPECT_EQ(table(), "file0.bin:3 file0.bin:0 file0.bin:1 file1.bin:0 ");
    EXPECT_EQ(app_.download_count, 4);
}

TEST_F(DownloadTargets, CopiesSkipDevicesThatEarlierEntriesTarget) {
    files(2);
    app_.plugins[0].devices = devices_from("NNN");
    app_.downloads[0].plugin_index = 0;
    app_.downloads[0].device_index = 0;
    app_.last_chosen_device = 2;
    EXPECT_EQ(assign_to_candidates(app_, 1, 3), 2);
    // Device 0 already has file0; the second copy finds no device left and is skipped.
    EXPECT_EQ(table(), "file0.bin:0 file1.bin:2 file1.bin:1 file1.bin:255 ");
}

TEST_F(DownloadTargets, AnEarlierEntryOfAnotherPluginDoesNotHideADevice) {
    files(2);
    app_.plugin_count = 2;
    app_.current_plugin = &app_.plugins[1];
    app_.current_plugin_index = 1;
    app_.plugins[1].devices = devices_from("NN");
    app_.downloads[0].plugin_index = 0;
    app_.downloads[0].device_index = 0;
    app_.last_chosen_device = 1;
    EXPECT_EQ(assign_to_candidates(app_, 1, 2), 1);
    EXPECT_EQ(table(), "file0.bin:0 file1.bin:1 file1.bin:0 ");
}

TEST_F(DownloadTargets, CopiesBeyondThirtyEntriesAreRefused) {
    files(3);
    app_.plugins[0].devices = devices_from(std::string(30, 'N'));
    app_.last_chosen_device = 29;
    EXPECT_EQ(assign_to_candidates(app_, 0, 30), 27);
    EXPECT_EQ(app_.download_count, kMaxDownloadEntries);
    // The files behind the copied entry are still in the table, in order, at its end.
    EXPECT_STREQ(app_.downloads[28].file_name, "file1.bin");
    EXPECT_STREQ(app_.downloads[29].file_name, "file2.bin");
    EXPECT_EQ(app_.downloads[27].device_index, 26);
}

TEST_F(DownloadTargets, ATableFullAlreadyTakesNoCopy) {
    files(kMaxDownloadEntries);
    app_.plugins[0].devices = devices_from("NN");
    app_.last_chosen_device = 1;
    EXPECT_EQ(assign_to_candidates(app_, 0, 2), 0);
    EXPECT_EQ(app_.downloads[0].device_index, 1);
    EXPECT_EQ(app_.download_count, kMaxDownloadEntries);
}

TEST_F(DownloadTargets, RepeatedTargetsKeepOnlyTheFirstFile) {
    files(4);
    const int targets[4][2] = {{0, 1}, {0, 1}, {1, 1}, {0, 255}};
    for (int i = 0; i < 4; ++i) {
        app_.downloads[static_cast<std::size_t>(i)].plugin_index = targets[i][0];
        app_.downloads[static_cast<std::size_t>(i)].device_index = targets[i][1];
    }
    remove_repeated_targets(app_);
    EXPECT_EQ(table(), "file0.bin:1 file1.bin:255 file2.bin:1 file3.bin:255 ");
    EXPECT_EQ(app_.downloads[1].plugin_index, kNoPlugin);
}

TEST_F(DownloadTargets, AMobileTerminalPluginKeepsRepeatedTargets) {
    files(2);
    set_record_field(app_.plugins[0].version_line, "Pellax Interface Version 1.0");
    for (DownloadEntry& entry : app_.downloads) {
        entry.plugin_index = 0;
        entry.device_index = 0;
    }
    remove_repeated_targets(app_);
    EXPECT_EQ(table(), "file0.bin:0 file1.bin:0 ");
}

TEST(BackupPath, DateInTheLocaleAndTimeWithoutLeadingZeros) {
    platform::LocalTime time;
    time.year = 2026;
    time.month = 12;
    time.day = 7;
    time.hour = 9;
    time.minute = 5;
    time.second = 7;
    const std::string path = backup_file_path("/tmp/Morlin", time);
    // The month's abbreviation is the locale's.
    EXPECT_EQ(path.rfind("/tmp/Morlin/07", 0), 0u) << path;
    EXPECT_TRUE(path.ends_with("2026_9h5m7s.bin")) << path;
}

// The SymLink record is read again at matching time: a configuration that has gone or been
// damaged since start-up ends the match with 119 or 110.
TEST(SymLinkMatch, AMissingOrDamagedConfigurationEndsTheMatch) {
    test::TempDir dir;
    ASSERT_TRUE(open_host_log(dir.file("Morlin.log"), "test"));
    auto ui = std::make_shared<platform::ScriptedUserInterface>();
    const auto previous = platform::install_user_interface(ui);
    {
        MorlinApp app;
        app.options.match_by_symlink = true;
        app.plugin_count = 1;
        app.current_plugin = &app.plugins[0];
        app.download_count = 1;
        set_record_field(app.downloads[0].file_name, "a.bin");

        app.command_line.config_path = dir.file("Gone.cfg");
        MatchResult match = match_file_to_devices(app);
        EXPECT_EQ(match.outcome.code, kStrConfigOpenFailed);
        EXPECT_EQ(match.candidates, 0);
        ASSERT_EQ(ui->boxes.size(), 1u); // the opener reports it
        EXPECT_EQ(ui->boxes[0].icon, platform::MessageIcon::Error);

        test::write_bytes(dir.file("Damaged.cfg"), {1, 2, 3, 4, 5, 6});
        app.command_line.config_path = dir.file("Damaged.cfg");
        match = match_file_to_devices(app);
        EXPECT_EQ(match.outcome.code, kStrConfigCheckFailed);
        EXPECT_EQ(ui->boxes.size(), 1u);
    }
    close_host_log();
    platform::install_user_interface(previous);
    const std::string log = test::read_text(dir.file("Morlin.log"));
    EXPECT_NE(log.find("CfgEdtDlg(618) :Error opening Morlin.cfg"), std::string::npos) << log;
    EXPECT_NE(log.find("Morlin(2546) Cfg file has invalid CRC"), std::string::npos) << log;
}

} // namespace
} // namespace morlin
