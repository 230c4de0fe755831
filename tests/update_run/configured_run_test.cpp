// Configured runs of the real Morlin program with recording test plug-ins: which files reach
// which devices, what the plug-ins are asked, the log lines, the report and the exit code.
#include "host/host_texts.h"
#include "morlin_run.h"

#include <cctype>
#include <gtest/gtest.h>

namespace morlin {
namespace {

using test::MorlinRun;
using test::silent_config;

class ConfiguredRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(texts_.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
        folder_.add_library(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so", "MORLNRES.so");
    }

    // The one message box of the run: its kind ("error", "information") and string.
    void expect_only_box(const MorlinRun& run, const std::string& icon, int id) const {
        ASSERT_EQ(run.boxes.size(), 1u) << testing::PrintToString(run.boxes);
        expect_box(run.boxes[0], icon, id);
    }
    void expect_box(const std::string& box, const std::string& icon, int id) const {
        const std::string kind = box.substr(0, box.find('['));
        std::string lower;
        for (char c : kind) {
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_NE(lower.find(icon), std::string::npos) << box;
        EXPECT_NE(
            box.find("[" + texts_.text_or_number(kStrCaption) + "] " + texts_.text_or_number(id)),
            std::string::npos)
            << box;
    }
    // The devices that received a download, as "<device> <file>", from record lines
    // "VUPDownloadFirmware <device> [<backup path>] <file> progress=... abort=...".
    static std::vector<std::string> downloads(const MorlinRun& run) {
        std::vector<std::string> found;
        for (const std::string& line : run.calls_of("VUPDownloadFirmware")) {
            const auto device = line.find(' ') + 1;
            const auto backup_end = line.find("] ");
            if (backup_end == std::string::npos) {
                continue;
            }
            const auto file = backup_end + 2;
            found.push_back(line.substr(device, line.find(' ', device) - device) + " " +
                            line.substr(file, line.find(' ', file) - file));
        }
        return found;
    }
    std::string text(int id) const { return texts_.text_or_number(id); }

    test::MorlinFolder folder_;
    HostTexts texts_;
};

using Strings = std::vector<std::string>;

// "07Dec2026_9h5m7s.bin": day, the locale's month abbreviation, year, then the time without
// leading zeros.
bool is_backup_file_name(const std::string& name) {
    const auto digits = [&](std::size_t from, std::size_t to) {
        if (from >= to || to > name.size()) {
            return false;
        }
        for (std::size_t i = from; i < to; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
                return false;
            }
        }
        return true;
    };
    const auto underscore = name.find('_');
    const auto h = name.find('h', underscore);
    const auto m = name.find('m', h);
    const auto s = name.find("s.bin", m);
    return underscore != std::string::npos && underscore >= 9 && digits(0, 2) &&
           digits(underscore - 4, underscore) && h != std::string::npos &&
           digits(underscore + 1, h) && h - underscore <= 3 && m != std::string::npos &&
           digits(h + 1, m) && m - h <= 3 && s != std::string::npos && digits(m + 1, s) &&
           s - m <= 3 && s + 5 == name.size();
}

TEST_F(ConfiguredRun, OneFileAndThreeDevicesInNormalOperationDownloadsThreeTimes) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=3\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run();
    // The entry takes the last candidate, its copies the others in index order.
    EXPECT_EQ(downloads(run), (Strings{"2 a.bin", "0 a.bin", "1 a.bin"}));
    EXPECT_EQ(run.calls_of("VUPFilterDeviceInfoSet"), Strings{"VUPFilterDeviceInfoSet a.bin 1 0"});
    expect_only_box(run, "information", kStrSilentRunSucceeded);
    EXPECT_EQ(run.exit_code, 255);
    // Banner, file and device of every download, from the silent loop.
    EXPECT_EQ(run.log_lines_with("Firmware  Download  Start").size(), 3u);
    EXPECT_EQ(run.log_lines_with("Morlin(1652)"),
              Strings(3, "Morlin(1652) :Preparing to download a.bin"));
    EXPECT_EQ(run.log_lines_with("Morlin(1655)"),
              (Strings{"Morlin(1655) :Selected device is device 2",
                       "Morlin(1655) :Selected device is device 0",
                       "Morlin(1655) :Selected device is device 1"}));
    // Every download is silent: no progress callback, an abort flag that stays 0.
    for (const std::string& call : run.calls_of("VUPDownloadFirmware")) {
        EXPECT_TRUE(call.ends_with("progress=0 abort=0")) << call;
    }
    // The lists are destroyed once, at exit.
    EXPECT_EQ(run.calls_of("VUPDestroyDeviceInfoList"), Strings{"VUPDestroyDeviceInfoList 3"});
}

TEST_F(ConfiguredRun, TwoFilesForOneDeviceDownloadOnlyTheFirst) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.firmware_file("b.bin");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin", "b.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run), Strings{"0 a.bin"});
    expect_only_box(run, "information", kStrSilentRunSucceeded);
}

TEST_F(ConfiguredRun, AMobileTerminalPluginTakesEveryFileForOneDevice) {
    folder_.add_test_plugin("VUPMobileRec");
    folder_.firmware_file("a.bin");
    folder_.firmware_file("b.bin");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin", "b.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run), (Strings{"0 a.bin", "0 b.bin"}));
}

TEST_F(ConfiguredRun, NormalOperationWinsOverDownloadMode) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\ndevice.0.dfu=1\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run), Strings{"1 a.bin"});
    expect_only_box(run, "information", kStrSilentRunSucceeded);
}

TEST_F(ConfiguredRun, TwoCandidatesInDownloadModeFailWith101) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\ndevice.0.dfu=1\ndevice.1.dfu=1\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_TRUE(downloads(run).empty());
    EXPECT_EQ(run.log_lines_with("Morlin(1893)"),
              Strings{"Morlin(1893) :" + texts_.text(kStrSeveralDfuDevices)});
    expect_only_box(run, "error", kStrSilentRunFailed);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, NoCandidateLogs100WithTheFileName) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\ncandidates=none\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_TRUE(downloads(run).empty());
    const Strings lines = run.log_lines_with("Morlin(1893) :");
    ASSERT_EQ(lines.size(), 1u);
    const std::string string_100 = texts_.text(kStrNoDeviceForFile);
    if (string_100.find("%s") != std::string::npos) {
        EXPECT_NE(lines[0].find("a.bin"), std::string::npos) << lines[0];
    }
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, IdenticalVersionSwitchPassesOneToTheFilter) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run("/IV");
    EXPECT_EQ(run.calls_of("VUPFilterDeviceInfoSet"), Strings{"VUPFilterDeviceInfoSet a.bin 1 1"});
    EXPECT_EQ(downloads(run), Strings{"0 a.bin"});
    expect_only_box(run, "information", kStrSilentRunSucceeded);
}

TEST_F(ConfiguredRun, IdenticalVersionSwitchRefusesSeveralFiles) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.firmware_file("b.bin");
    folder_.scenario("devices=2\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin", "b.bin"})));
    const MorlinRun run = folder_.run("/iv");
    EXPECT_TRUE(run.calls_of("VUPFilterDeviceInfoSet").empty());
    EXPECT_TRUE(downloads(run).empty());
    EXPECT_EQ(run.log_lines_with("Morlin(1449)"),
              Strings{"Morlin(1449) :Command line switch \"IV\" is not supported when Morlin is "
                      "configured for multiple files."});
    expect_only_box(run, "error", kStrSilentRunFailed);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, IdenticalVersionSwitchRefusesSeveralDevices) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run("/IV");
    EXPECT_TRUE(downloads(run).empty());
    EXPECT_EQ(run.log_lines_with("Morlin(1466)"),
              Strings{"Morlin(1466) :Command line switch \"IV\" is not supported when more than "
                      "one Ostrum reader is connected."});
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, RefusalsUnderIdenticalVersionAreShownWhenNotSilent) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\n");
    ConfigContents contents;
    contents.downloads = {"a.bin"};
    ASSERT_TRUE(folder_.config(contents));
    const MorlinRun run = folder_.run("/IV");
    expect_only_box(run, "error", 626);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, BackupPathIsInTheBackupFolderOrEmpty) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    MorlinRun run = folder_.run();
    ASSERT_EQ(run.calls_of("VUPDownloadFirmware").size(), 1u);
    const std::string call = run.calls_of("VUPDownloadFirmware")[0];
    const std::string folder = "VUPDownloadFirmware 0 [" + folder_.file("tmp") + "/Morlin/";
    ASSERT_TRUE(call.starts_with(folder)) << call;
    const std::string name = call.substr(folder.size(), call.find(']') - folder.size());
    EXPECT_TRUE(is_backup_file_name(name)) << name;
    EXPECT_NE(call.find("] a.bin "), std::string::npos) << call;

    ASSERT_TRUE(folder_.config(silent_config({"a.bin"}, {{"BACKUP", "no"}})));
    run = folder_.run();
    ASSERT_EQ(run.calls_of("VUPDownloadFirmware").size(), 1u);
    EXPECT_TRUE(
        run.calls_of("VUPDownloadFirmware")[0].starts_with("VUPDownloadFirmware 0 [] a.bin"));
}

TEST_F(ConfiguredRun, NoAcceptedFileShowsOnly106) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("accept=*.hex\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin", "missing.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_TRUE(run.calls_of("VUPCreateDeviceInfoList").empty());
    EXPECT_TRUE(downloads(run).empty());
    expect_only_box(run, "error", kStrSilentRunFailed);
    EXPECT_TRUE(run.log_has("Morlin(363) :Download files section of the Morlin.cfg file is "
                            "empty/has no valid file"));
    EXPECT_EQ(run.exit_code, 0);
}

TEST_F(ConfiguredRun, AForeignFileIsLeftOutAndTheRestIsDownloaded) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.firmware_file("notes.txt");
    folder_.scenario("accept=*.bin\ndevices=2\n");
    ASSERT_TRUE(folder_.config(silent_config({"notes.txt", "a.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run), (Strings{"1 a.bin", "0 a.bin"}));
    expect_only_box(run, "information", kStrSilentRunSucceeded);
}

TEST_F(ConfiguredRun, WithoutReportStatusASilentRunShowsNothing) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("result.VUPDownloadFirmware=212\n");
    ConfigContents contents = silent_config({"a.bin"});
    contents.options = {{"GUI", "no"}};
    ASSERT_TRUE(folder_.config(contents));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run).size(), 1u);
    EXPECT_TRUE(run.boxes.empty()) << testing::PrintToString(run.boxes);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, AFailedDownloadIsLoggedAndTheOthersStillRun) {
    // The terminal is gone by the time of the download: the plug-in says so.
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=2\nresult.VUPDownloadFirmware=729\nerror.729=The port is gone\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    const MorlinRun run = folder_.run();
    EXPECT_EQ(downloads(run).size(), 2u);
    EXPECT_EQ(run.log_lines_with("failed (729)"),
              (Strings{"Download to device 1 failed (729): The port is gone",
                       "Download to device 0 failed (729): The port is gone"}));
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, DeviceListFailuresEndTheRunBeforeMatching) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("result.VUPCreateDeviceInfoList=729\nerror.729=No terminal answers\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    MorlinRun run = folder_.run();
    EXPECT_TRUE(run.calls_of("VUPFilterDeviceInfoSet").empty());
    expect_only_box(run, "error", kStrSilentRunFailed);
    EXPECT_EQ(run.exit_code, 255);

    // Not silent: the plug-in's own text.
    ConfigContents shown;
    shown.downloads = {"a.bin"};
    ASSERT_TRUE(folder_.config(shown));
    run = folder_.run();
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_NE(run.boxes[0].find("No terminal answers"), std::string::npos) << run.boxes[0];

    // No device at all: 102.
    folder_.scenario("devices=0\n");
    run = folder_.run();
    expect_only_box(run, "error", kStrNoDevices);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, NonsenseFromThePluginEndsInAFailedReport) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    // A filter that fails with a negative code, then one that lists more devices than fit.
    folder_.scenario("result.VUPFilterDeviceInfoSet=-7\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"})));
    MorlinRun run = folder_.run();
    EXPECT_TRUE(downloads(run).empty());
    expect_only_box(run, "error", kStrSilentRunFailed);

    folder_.scenario("devices=400\nresult.VUPDownloadFirmware=-1\n");
    run = folder_.run();
    EXPECT_EQ(downloads(run).size(), 30u);
    EXPECT_EQ(run.log_lines_with("failed (-1)").size(), 30u);
    expect_only_box(run, "error", kStrSilentRunFailed);
    EXPECT_EQ(run.exit_code, 255);
}

TEST_F(ConfiguredRun, CopiesBeyondTheTableAreRefusedAndLogged) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.firmware_file("b.bin");
    folder_.scenario("devices=30\nVUPRecorder.candidates=all\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin", "b.bin"})));
    const MorlinRun run = folder_.run();
    const Strings done = downloads(run);
    EXPECT_EQ(std::count_if(done.begin(), done.end(),
                            [](const std::string& d) { return d.ends_with("a.bin"); }),
              29);
    // Each file that finds no room for all its devices says so.
    EXPECT_EQ(run.log_lines_with("Download file table is full"),
              (Strings{"Download file table is full: 1 of 30 matching devices do not receive a.bin",
                       "Download file table is full: 29 of 30 matching devices do not receive "
                       "b.bin"}));
}

TEST_F(ConfiguredRun, MatchBySymbolicLink) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=3\ncandidates=1\n");
    ConfigContents contents = silent_config({"a.bin"}, {{"MATCHBYSYMLINK", "yes"}});
    contents.symlink = "\\??\\USB#Vid_04e6&Pid_1a02#SIM0002";
    ASSERT_TRUE(folder_.config(contents));
    MorlinRun run = folder_.run();
    EXPECT_EQ(run.calls_of("VUPMatchDevBySymLink"),
              Strings{"VUPMatchDevBySymLink \\??\\USB#Vid_04e6&Pid_1a02#SIM0002 a.bin"});
    EXPECT_TRUE(run.calls_of("VUPFilterDeviceInfoSet").empty());
    EXPECT_EQ(run.log_lines_with("Morlin(2574)"),
              Strings{"Morlin(2574) :SymLink of Device to download: "
                      "\\??\\USB#Vid_04e6&Pid_1a02#SIM0002"});
    EXPECT_EQ(downloads(run), Strings{"1 a.bin"});

    // The plug-in cannot match it.
    folder_.scenario("result.VUPMatchDevBySymLink=729\n");
    run = folder_.run();
    EXPECT_EQ(run.log_lines_with("Morlin(2599)"),
              Strings{"Morlin(2599) :Unable to match the device by Symbolic Link Name."});
    expect_only_box(run, "error", kStrSilentRunFailed);

    // No SymLink record.
    contents.symlink.reset();
    ASSERT_TRUE(folder_.config(contents));
    folder_.scenario("");
    run = folder_.run();
    EXPECT_EQ(run.log_lines_with("Morlin(2570)"),
              Strings{"Morlin(2570) Symbolic Link Name is missing in Cfg file"});
    EXPECT_TRUE(downloads(run).empty());
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, MatchingFunctionsThePluginLacksGive620) {
    folder_.add_test_plugin("VUPEleven");
    folder_.firmware_file("a.bin");
    ConfigContents contents = silent_config({"a.bin"}, {{"MATCHBYSYMLINK", "yes"}});
    contents.symlink = "link";
    ASSERT_TRUE(folder_.config(contents));
    MorlinRun run = folder_.run();
    EXPECT_EQ(run.log_lines_with("Morlin(2583)"),
              Strings{"Morlin(2583) VUPMatchDevBySymLink API not supported by this DLL"});
    expect_only_box(run, "error", kStrSilentRunFailed);

    ASSERT_TRUE(folder_.config(silent_config({"a.bin"}, {{"MATCHDFUDEVBYPRODTYPE", "yes"}})));
    run = folder_.run();
    EXPECT_EQ(run.log_lines_with("Morlin(2653)"),
              Strings{"Morlin(2653) VUPMatchDFUDevByProdType API not supported by this DLL"});
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, MatchByProductTypeTakesOnlyDevicesInDownloadMode) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    folder_.scenario("devices=3\ndevice.1.dfu=1\n");
    ASSERT_TRUE(folder_.config(silent_config({"a.bin"}, {{"MATCHDFUDEVBYPRODTYPE", "yes"}})));
    MorlinRun run = folder_.run();
    EXPECT_EQ(run.calls_of("VUPMatchDFUDevByProdType"), Strings{"VUPMatchDFUDevByProdType a.bin"});
    EXPECT_EQ(downloads(run), Strings{"1 a.bin"});

    folder_.scenario("devices=2\n");
    run = folder_.run();
    EXPECT_EQ(run.log_lines_with("Morlin(2682) :").size(), 1u);
    expect_only_box(run, "error", kStrSilentRunFailed);
}

TEST_F(ConfiguredRun, RunsWithDialogsDownloadNothingWhenClosedBeforeStart) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.firmware_file("a.bin");
    ConfigContents contents;
    contents.downloads = {"a.bin"};
    ASSERT_TRUE(folder_.config(contents));
    // The progress dialog gets no action and is closed before its start button.
    MorlinRun run = folder_.run();
    EXPECT_TRUE(downloads(run).empty());
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.exit_code, 1);

    // No device matched: the run falls back to the interactive run, after ending the lists.
    folder_.scenario("candidates=none\n");
    // (the main window gets no action and is closed; the exit code stays 255).
    run = folder_.run();
    EXPECT_TRUE(downloads(run).empty());
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.calls_of("VUPDestroyDeviceInfoList").size(), 2u);
    EXPECT_EQ(run.exit_code, 255);
}

} // namespace
} // namespace morlin
