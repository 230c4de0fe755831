// The real Morlin program, started in a temporary folder with recording test plug-ins: the
// order of its start-up and exit steps, its message boxes and its exit codes.
#include "host/config/config_file.h"
#include "host/host_texts.h"
#include "test_support.h"
#include "tests/common/morlin_runner.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace morlin {
namespace {

namespace fs = std::filesystem;

using ProgramRun = morlin_test::MorlinOutput;

class MorlinProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_.file("tmp"));
        ASSERT_TRUE(texts_.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
    }

    void add_plugin(const std::string& variant, const std::string& as = {}) {
        fs::copy_file(fs::path(MORLIN_TEST_PLUGIN_DIR) / (variant + ".so"),
                      dir_.file(as.empty() ? variant + ".so" : as));
    }
    void scenario(const std::string& text) { test::write_text(dir_.file("scenario.txt"), text); }
    void config(const ConfigContents& contents, const std::string& name = "Morlin.cfg") {
        ASSERT_TRUE(save_config_file(dir_.file(name), contents));
    }
    // The text of a host string as the program shows it.
    std::string text(int id) const { return texts_.text_or_number(id); }
    std::string box(int id) const { return "[" + text(14) + "] " + text(id); }

    ProgramRun run(const std::string& arguments, std::map<std::string, std::string> env = {}) {
        env.emplace("MORLIN_REGISTRY", dir_.file("registry.reg"));
        env.emplace("XDG_RUNTIME_DIR", dir_.file("tmp"));
        return morlin_test::run_morlin(dir_.path(), arguments, std::move(env));
    }

    static bool has(const std::vector<std::string>& lines, const std::string& part) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(part) != line.npos; });
    }
    static std::vector<std::string> only(const std::vector<std::string>& calls,
                                         const std::string& function) {
        std::vector<std::string> result;
        for (const auto& call : calls) {
            if (call.find(" " + function) != call.npos) {
                result.push_back(call);
            }
        }
        return result;
    }

    test::TempDir dir_;
    HostTexts texts_;
};

TEST_F(MorlinProgram, NoPluginFileShows120AndEndsWithoutLog) {
    const ProgramRun result = run("");
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find(box(120)), std::string::npos) << result.boxes[0];
    EXPECT_FALSE(result.log_exists);
}

// Asking for help runs nothing: no plug-in is loaded, no log written, no device touched, even
// beside a configuration that would update a terminal.
TEST_F(MorlinProgram, HelpRunsNothingAndIgnoredArgumentsAreNamed) {
    add_plugin("VUPRecorder");
    ConfigContents contents;
    contents.options = {{"GUI", "no"}};
    contents.downloads = {"a.bin"};
    config(contents);
    for (const char* help : {"--help", "-h", "'/?'", "--version"}) {
        const ProgramRun result = run(help);
        EXPECT_EQ(result.exit_code, 0) << help;
        EXPECT_TRUE(result.calls.empty()) << help;
        EXPECT_FALSE(result.log_exists) << help;
        EXPECT_NE(test::read_text(dir_.file("stdout.txt")).find("Morlin"), std::string::npos);
    }

    const ProgramRun result = run("-DI /DEVINFO x/iv --cfg x");
    EXPECT_EQ(result.exit_code, 255); // the configured run went on as the switch rules say
    EXPECT_FALSE(result.calls.empty());
    const auto stderr_lines = test::lines_of(test::read_text(dir_.file("stderr.txt")));
    std::vector<std::string> named;
    for (const std::string& line : stderr_lines) {
        if (line.starts_with("Morlin: ignoring argument")) {
            named.push_back(line.substr(line.find('"'),
                                        line.find('"', line.find('"') + 1) - line.find('"') + 1));
        }
    }
    EXPECT_EQ(named, (std::vector<std::string>{"\"-DI\"", "\"/DEVINFO\"", "\"--cfg\"", "\"x\""}));
}

// Failures before the log is open say on standard error what was looked for and where.
TEST_F(MorlinProgram, StartUpFailuresNameWhatWasLookedForAndWhere) {
    ProgramRun result = run(""); // no plug-in file
    EXPECT_NE(test::read_text(dir_.file("stderr.txt"))
                  .find("Morlin: no usable plug-in: looked for as VUP*.so in " +
                        dir_.path().string() + ": 0 bound"),
              std::string::npos);

    add_plugin("VUPRecorder");
    test::write_text(dir_.file("not-a-folder"), "");
    result = run("", {{"TMPDIR", dir_.file("not-a-folder")}});
    EXPECT_EQ(result.exit_code, 0); // ends before a run, as before
    EXPECT_NE(test::read_text(dir_.file("stderr.txt"))
                  .find("cannot create the backup folder " + dir_.file("not-a-folder/Morlin")),
              std::string::npos)
        << test::read_text(dir_.file("stderr.txt"));
    EXPECT_NE(result.log.find("Morlin :Cannot create the backup folder"), std::string::npos);

    // The program without the resource library beside it.
    fs::copy_file(std::string(MORLIN_BIN_DIR) + "/Morlin", dir_.file("Morlin"));
    const std::string command = "cd '" + dir_.path().string() +
                                "' && env -u LD_LIBRARY_PATH "
                                "MORLIN_UI=console ./Morlin 2>alone.txt";
    ASSERT_GE(std::system(command.c_str()), 0);
    EXPECT_NE(test::read_text(dir_.file("alone.txt"))
                  .find("cannot load the resource library MORLNRES.so: looked in " +
                        dir_.path().string()),
              std::string::npos)
        << test::read_text(dir_.file("alone.txt"));
}

TEST_F(MorlinProgram, OnlyUnusableFilesShow623) {
    test::write_text(dir_.file("VUPBroken.so"), "not a library");
    add_plugin("VUPNoDisplay");
    const ProgramRun result = run("");
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find(box(623)), std::string::npos) << result.boxes[0];
}

TEST_F(MorlinProgram, Windows9xRejectsPluginWithoutOsCheck) {
    add_plugin("VUPNoOsCheck");
    ProgramRun result = run("", {{"MORLIN_OS_VERSION", "win98"}});
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find(box(623)), std::string::npos) << result.boxes[0];
    result = run(""); // elsewhere it is not asked
    EXPECT_FALSE(has(result.boxes, box(623)));
}

TEST_F(MorlinProgram, InteractiveCourseStartUpAndExitOrder) {
    add_plugin("VUPRecorder");
    const ProgramRun result = run(""); // the main window gets no action: it is closed
    EXPECT_EQ(result.exit_code, 1);
    std::vector<std::string> order;
    for (const std::string& call : result.calls) {
        for (const char* name : {"VUPInitializeLogger", "VUPStartStop", "VUPCreateDeviceInfoList",
                                 "VUPDestroyDeviceInfoList"}) {
            if (call.find(name) != std::string::npos) {
                order.push_back(call);
            }
        }
    }
    const std::vector<std::string> expected = {
        "VUPRecorder VUPInitializeLogger", "VUPRecorder VUPStartStop 1 (null)",
        "VUPRecorder VUPCreateDeviceInfoList (null)", "VUPRecorder VUPDestroyDeviceInfoList 1",
        "VUPRecorder VUPStartStop 0 (null)"};
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(result.boxes.empty());

    const auto lines = test::lines_of(result.log);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_NE(lines[0].find("Morlin Integrated Firmware Update Utility"), std::string::npos);
    EXPECT_EQ(lines[1].substr(18), std::string(61, '-'));
    EXPECT_NE(lines[2].find("Integrated Firmware Update Utility"), std::string::npos);
    // The plug-in logged while being bound, before the log was open: that line is lost.
    EXPECT_FALSE(has(lines, "Logger of VUPRecorder ready"));
    EXPECT_FALSE(has(lines, "not built yet"));
    EXPECT_NE(result.log.find("Morlin Quits the current session.\r\n\r\n"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(dir_.file("tmp/Morlin"))); // the backup directory
}

TEST_F(MorlinProgram, ConfiguredRunGetsTheFilesThePluginsAccept) {
    add_plugin("VUPRecorder");
    scenario("accept=*.bin\n");
    ConfigContents contents;
    contents.downloads = {"a.bin", "b.hex"};
    config(contents);
    const ProgramRun result = run("");
    EXPECT_EQ(result.exit_code, 1); // the progress dialog closed before its start
    EXPECT_TRUE(has(result.calls, "VUPIsBinaryValid a.bin -> 0"));
    EXPECT_TRUE(has(result.calls, "VUPIsBinaryValid b.hex -> 207"));
    EXPECT_EQ(only(result.calls, "VUPStartStop"),
              (std::vector<std::string>{"VUPRecorder VUPStartStop 1 Morlin.cfg",
                                        "VUPRecorder VUPStartStop 0 Morlin.cfg"}));
    EXPECT_TRUE(result.boxes.empty());
}

TEST_F(MorlinProgram, SilentRunWithoutFilesShowsOnly106) {
    add_plugin("VUPRecorder");
    scenario("accept=none\n");
    ConfigContents contents;
    contents.options = {{"GUI", "no"}, {"REPORTSTATUS", "yes"}};
    contents.downloads = {"x.bin"};
    config(contents);
    const ProgramRun result = run("");
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find(box(106)), std::string::npos) << result.boxes[0];
    EXPECT_TRUE(only(result.calls, "VUPStartStop 1").empty());
    EXPECT_TRUE(has(test::lines_of(result.log),
                    "Morlin(363) :Download files section of the Morlin.cfg file is empty/has no "
                    "valid file"));
}

TEST_F(MorlinProgram, ConfigPathFromTheCommandLineKeepsItsLetters) {
    add_plugin("VUPRecorder");
    fs::create_directories(dir_.file("my dir"));
    ConfigContents contents;
    contents.options = {{"BACKUP", "no"}};
    config(contents, "my dir/Own Name.cfg");
    const ProgramRun result = run("/cfg '  my dir/Own Name.cfg'");
    EXPECT_TRUE(has(result.calls, "VUPStartStop 1 my dir/Own Name.cfg"));
    EXPECT_TRUE(has(result.calls, "VUPStartStop 0 my dir/Own Name.cfg"));
}

TEST_F(MorlinProgram, DamagedConfigurationShows110AndRunsInteractively) {
    add_plugin("VUPRecorder");
    ConfigContents contents;
    contents.downloads = {"a.bin"};
    auto image = build_config_image(contents);
    image[4] ^= 1;
    test::write_bytes(dir_.file("morlin.CFG"), image); // found ignoring letter case
    // The interactive course, and the editor (whose load reads the file again): one box each.
    for (const char* arguments : {"", "/CE"}) {
        const ProgramRun result = run(arguments);
        ASSERT_EQ(result.boxes.size(), 1u) << arguments; // then the window, closed at once
        EXPECT_NE(result.boxes[0].find(box(110)), std::string::npos) << result.boxes[0];
        EXPECT_EQ(result.exit_code, *arguments == '\0' ? 1 : 0);
        EXPECT_TRUE(has(result.calls, "VUPStartStop 1 (null)") || *arguments != '\0');
    }
}

TEST_F(MorlinProgram, DisableLogKeepsTheLogFileAway) {
    add_plugin("VUPRecorder");
    ConfigContents contents;
    contents.options = {{"DISABLELOG", "yes"}};
    config(contents);
    const ProgramRun result = run("");
    EXPECT_FALSE(result.log_exists);
}

TEST_F(MorlinProgram, FailedStartCallIsShownAndNotStopped) {
    add_plugin("VUPRecorder");
    scenario("result.VUPStartStop.start=77\n");
    const ProgramRun result = run("");
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find(box(77)), std::string::npos) << result.boxes[0];
    EXPECT_EQ(only(result.calls, "VUPStartStop"),
              std::vector<std::string>{"VUPRecorder VUPStartStop 1 (null)"});
}

TEST_F(MorlinProgram, EditorAndDeviceInformationOpenTheirDialogs) {
    add_plugin("VUPRecorder");
    ProgramRun result = run("/ce");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(result.boxes.empty()); // the editor opened and closed without changes
    // Not started; the exit steps still send every plug-in whose start did not fail its stop,
    // with the file that the editor created and read.
    EXPECT_EQ(only(result.calls, "VUPStartStop"),
              std::vector<std::string>{"VUPRecorder VUPStartStop 0 Morlin.cfg"});
    fs::remove(dir_.file("Morlin.cfg"));

    // The device information display is built: it lists and queries the device.
    result = run("/DI");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(has(result.calls, "VUPCreateDeviceInfoList (null)"));
    EXPECT_TRUE(has(result.calls, "VUPGetDisplayInfo 0 (null)"));
    EXPECT_TRUE(result.boxes.empty());
}

TEST_F(MorlinProgram, DeviceInformationListFailureShowsThePluginsText) {
    add_plugin("VUPRecorder");
    scenario("result.VUPCreateDeviceInfoList=200\nerror.200=No terminal answered\n");
    const ProgramRun result = run("/di");
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_NE(result.boxes[0].find("[" + text(14) + "] No terminal answered"), std::string::npos)
        << result.boxes[0];
}

TEST_F(MorlinProgram, LogIsTrimmedToTheRegistryLimit) {
    add_plugin("VUPRecorder");
    test::write_text(dir_.file("registry.reg"),
                     "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf]\r\n"
                     "\"LogFileLimitKB\"=dword:00000001\r\n");
    test::write_text(dir_.file("Morlin.log"), std::string(5000, 'x'));
    const ProgramRun result = run("");
    EXPECT_LT(result.log.size(), 2200u);
    EXPECT_NE(result.log.find("Morlin Quits the current session."), std::string::npos);
}

} // namespace
} // namespace morlin
