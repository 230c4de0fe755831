// The update tool: its file and folder, its command line taken apart by the Windows rules, its
// start and exit code (with the sample tool), and the firmware files set aside and back.
#include "../common/temp_dir.h"
#include "../common/text_lines.h"
#include "platform/processes/command_line_words.h"
#include "wrapper/update_tool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace valdrun;
using morlin_test::TempDir;
namespace fs = std::filesystem;

TEST(ToolCommandLine, SplitByTheWindowsRules) {
    using Words = std::vector<std::string>;
    struct Case {
        const char* line;
        Words words;
    };
    const Case cases[] = {
        {"", {}},
        {" \t ", {}},
        {"-s -f firmware.bin", {"-s", "-f", "firmware.bin"}},
        {"  a\t\tb  ", {"a", "b"}},
        {R"("C:\Program Files\fw.bin" -q)", {R"(C:\Program Files\fw.bin)", "-q"}},
        {R"(a"b c"d)", {"ab cd"}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(a\\b\c)", {R"(a\\b\c)"}},    // backslashes before no quote stay
        {R"(a\"b)", {R"(a"b)"}},         // 2n+1: a literal quote
        {R"(a\\"b c")", {R"(a\b c)"}},   // 2n: half of them, the quote groups
        {R"(a\\\"b)", {R"(a\"b)"}},      // 3: one backslash and a quote
        {R"("a""b c)", {R"(a"b)", "c"}}, // two quotes inside quotes: one literal, quoting ends
        {R"("a""b" c)", {R"(a"b c)"}},   // ... and the next quote begins it again
        {R"("a"""b c")", {R"(a"b c)"}},  // three quotes: one literal, quoting goes on
        {R"("unterminated arg)", {"unterminated arg"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::command_line_words(c.line), c.words) << c.line;
}

TEST(ToolFile, ExeAppendedOnceAndTheFolderOfTheSlot) {
    EXPECT_EQ(tool_file_name("FWUpdate"), "FWUpdate.exe");
    EXPECT_EQ(tool_file_name("FWUpdate.exe"), "FWUpdate.exe");
    EXPECT_EQ(tool_file_name("tool.EXE"), "tool.EXE");
    EXPECT_EQ(tool_file_name("fw.v2"), "fw.v2.exe");
    EXPECT_EQ(tool_folder("/opt/inst/Valdrun/", 0), "/opt/inst/Valdrun/");
    EXPECT_EQ(tool_folder("/opt/inst/Valdrun/", 1), "/opt/inst/RS232DFU/");
    EXPECT_EQ(tool_folder("C:\\Inst\\Valdrun\\", 1), "C:\\Inst\\RS232DFU\\");
    EXPECT_EQ(tool_folder("/", 1), "/RS232DFU/");
}

// The sample tool in a folder of its own, under the name a description would give.
class SampleTool : public ::testing::Test {
  protected:
    std::string folder() const { return dir_.path().string() + "/"; }
    void install(const std::string& name) {
        fs::copy_file(MORLIN_BIN_DIR "/FWUpdate", dir_.file(name));
    }
    static std::optional<int> wait_for_end(ToolProcess& tool) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto code = tool.exit_code()) {
                return code;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a real process
        }
        return std::nullopt;
    }
    std::vector<std::string> record() const {
        return morlin_test::lines_of(morlin_test::read_text(dir_.file("FWUpdate.record")));
    }
    bool recorded(const std::string& line) const {
        const auto lines = record();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TempDir dir_;
};

TEST_F(SampleTool, StartedInItsFolderWithItsArgumentsAndItsExitCodeRead) {
    install("FWUpdate"); // built here without extension: found for "FWUpdate.exe"
    struct Case {
        const char* command_line;
        int exit_code;
    };
    for (const Case& c : {Case{"-exit=0", 0}, Case{"-exit=1", 1}, Case{"-exit=2", 2},
                          Case{"-signal=9", 128 + SIGKILL}, Case{"-signal=15", 128 + SIGTERM}}) {
        std::uint32_t error = 99;
        const auto tool =
            start_update_tool(folder(), tool_file_name("FWUpdate.exe"), c.command_line, error);
        ASSERT_TRUE(tool) << c.command_line << " error " << error;
        EXPECT_EQ(wait_for_end(*tool), c.exit_code) << c.command_line;
        EXPECT_EQ(tool->exit_code(), c.exit_code) << "read again";
    }
    fs::remove(dir_.file("FWUpdate.record"));

    std::uint32_t error = 0;
    const auto tool = start_update_tool(folder(), "fwupdate.EXE", R"(-f "a b.sig" x\"y)", error);
    ASSERT_TRUE(tool);
    EXPECT_EQ(wait_for_end(*tool), 0);
    EXPECT_TRUE(recorded("folder=" + fs::canonical(dir_.path()).string()));
    EXPECT_TRUE(recorded("arg0=" + folder() + "FWUpdate"));
    EXPECT_TRUE(recorded("arg1=-f"));
    EXPECT_TRUE(recorded("arg2=a b.sig"));
    EXPECT_TRUE(recorded("arg3=x\"y"));
    EXPECT_FALSE(recorded("arg4=")) << "nothing more";
    EXPECT_TRUE(recorded(std::string("env=PATH=") + std::getenv("PATH")));
}

TEST_F(SampleTool, ANativeProgramWinsOverTheWindowsOneBesideIt) {
    morlin_test::write_text(dir_.file("FWUpdate.exe"), "MZ, a Windows program");
    install("FWUpdate");
    EXPECT_TRUE(fs::equivalent(tool_path(folder(), "FWUpdate.exe"), dir_.file("FWUpdate")));
}

TEST_F(SampleTool, ThatCannotStartGivesTheSystemErrorCode) {
    std::uint32_t error = 0;
    EXPECT_FALSE(start_update_tool(folder(), "FWUpdate.exe", "", error));
    EXPECT_EQ(error, 2u); // the Windows numbers: the file is not there

    morlin_test::write_text(dir_.file("FWUpdate.exe"), "not a program");
    fs::permissions(dir_.file("FWUpdate.exe"), fs::perms::owner_read);
    EXPECT_FALSE(start_update_tool(folder(), "FWUpdate.exe", "", error));
    EXPECT_EQ(error, 5u); // access denied
}

TEST_F(SampleTool, ItsEndIsSeenWhileAProcessItLeftBehindStillRuns) {
    install("FWUpdate.exe");
    std::uint32_t error = 0;
    const auto tool = start_update_tool(folder(), "FWUpdate.exe", "-leave-child=60 -exit=0", error);
    ASSERT_TRUE(tool);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_for_end(*tool), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

    const auto lines = record();
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind("child=", 0) == 0; });
    ASSERT_NE(line, lines.end());
    const pid_t child = std::stoi(line->substr(6));
    ASSERT_GT(child, 0);
    EXPECT_EQ(::kill(child, 0), 0) << "the process left behind still runs";
    ::kill(child, SIGKILL);
}

TEST(FirmwareFiles, SetAsideByPatternAndBroughtBack) {
    TempDir dir;
    for (const char* name : {"APP_FW_5.sig", "app_fw_lower.sig", "OS_FW_2.sig", "_APP_FW_old.sig",
                             "APP_FW.bin", "APP_FW_6.SIG", "_keep.txt"})
        morlin_test::write_text(dir.file(name), name);
    morlin_test::write_text(dir.file("_APP_FW_busy.sig"), "an earlier one");
    morlin_test::write_text(dir.file("APP_FW_busy.sig"), "this one");

    const auto errors = set_aside_firmware_files(dir.path().string() + "/", "APP_FW");
    EXPECT_EQ(errors, std::vector<std::uint32_t>{static_cast<std::uint32_t>(EEXIST)})
        << "the file of the new name stays; the others go on";
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(),
              (std::vector<std::string>{"APP_FW.bin", "APP_FW_busy.sig", "OS_FW_2.sig",
                                        "_APP_FW_5.sig", "_APP_FW_6.SIG", "_APP_FW_busy.sig",
                                        "_APP_FW_old.sig", "_keep.txt", "app_fw_lower.sig"}));
    EXPECT_EQ(morlin_test::read_text(dir.file("_APP_FW_busy.sig")), "an earlier one");

    bring_back_firmware_files(dir.path().string());
    EXPECT_EQ(names(),
              (std::vector<std::string>{"APP_FW.bin", "APP_FW_5.sig", "APP_FW_6.SIG",
                                        "APP_FW_busy.sig", "APP_FW_old.sig", "OS_FW_2.sig",
                                        "_APP_FW_busy.sig", "_keep.txt", "app_fw_lower.sig"}))
        << "every \"_*.?i?\" back, also one that had its mark before; none replaces another";
    EXPECT_EQ(morlin_test::read_text(dir.file("APP_FW_busy.sig")), "this one");
}

} // namespace
