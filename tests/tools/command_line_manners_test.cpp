// Every program of the suite answers -h, --help and --version with exit code 0 on standard
// output, and a usage error (a bad option, options that contradict each other) with exit
// code 2, one line naming the problem and one hint on standard error. Nothing else runs.
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

struct ProgramRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs build/bin/<command line> in `folder`, standard input closed, with an empty devices
// folder, so that nothing a program might reach exists.
ProgramRun run(const morlin_test::TempDir& folder, const std::string& program,
               const std::string& arguments) {
    const std::string command =
        "cd '" + folder.path().string() + "' && MORLIN_DEVICES='" + folder.file("devices") +
        "' MORLIN_REAL_PORTS=none MORLIN_UI=console TMPDIR='" + folder.path().string() + "' '" +
        MORLIN_BIN_DIR + "/" + program + "' " + arguments +
        " </dev/null >out.txt 2>err.txt; echo $? >rc.txt";
    ProgramRun result;
    if (std::system(command.c_str()) != 0) {
        return result;
    }
    result.exit_code = std::atoi(morlin_test::read_text(folder.file("rc.txt")).c_str());
    result.out = morlin_test::read_text(folder.file("out.txt"));
    result.err = morlin_test::read_text(folder.file("err.txt"));
    return result;
}

struct Case {
    const char* program;   // in build/bin
    const char* arguments; // as the shell reads them
    int exit_code;
    const char* on_stdout; // expected part of standard output ("" when it stays empty)
    const char* on_stderr; // expected part of standard error ("" when it stays empty)
};

class CommandLineManners : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineManners, AnswerAsDocumented) {
    const Case& c = GetParam();
    if (!std::filesystem::exists(std::string(MORLIN_BIN_DIR) + "/" + c.program)) {
        GTEST_SKIP() << c.program << " is not part of this build (benchmarks)";
    }
    morlin_test::TempDir folder;
    std::filesystem::create_directories(folder.file("devices"));
    const ProgramRun result = run(folder, c.program, c.arguments);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
    if (*c.on_stdout == '\0') {
        EXPECT_EQ(result.out, "");
    } else {
        EXPECT_NE(result.out.find(c.on_stdout), std::string::npos) << result.out;
    }
    if (*c.on_stderr == '\0') {
        EXPECT_EQ(result.err, "");
    } else {
        EXPECT_NE(result.err.find(c.on_stderr), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("FWUpdate.record")));
    if (c.exit_code == 2) { // a usage error: the problem and the hint, nothing more
        EXPECT_EQ(morlin_test::lines_of(result.err).size(), 2u) << result.err;
        EXPECT_NE(result.err.find(" --help'."), std::string::npos) << result.err;
    }
}

const Case kCases[] = {
    // Help and version everywhere.
    {"Morlin", "--help", 0, "usage: Morlin [/CE] [/DI] [/IV] [/PARALLEL] [/CFG path]", ""},
    {"Morlin", "-h", 0, "MORLIN_RESULT_FILE", ""},
    {"Morlin", "'/?'", 0, "usage: Morlin", ""},
    {"Morlin", "--version", 0, "Morlin 1.", ""},
    {"MorlinCfg", "--help", 0, "usage: MorlinCfg show", ""},
    {"MorlinCfg", "--version", 0, "MorlinCfg 1.", ""},
    {"HalvaneSim", "--help", 0, "usage: HalvaneSim", ""},
    {"HalvaneSim", "--version", 0, "HalvaneSim 1.", ""},
    {"SampleFirmware", "--help", 0, "usage: SampleFirmware", ""},
    {"SampleFirmware", "--version", 0, "SampleFirmware 1.", ""},
    {"ctapi-send", "--help", 0, "usage: ctapi-send", ""},
    {"ctapi-send", "--version", 0, "ctapi-send 1.", ""},
    {"ctapi-bench", "--help", 0, "usage: ctapi-bench", ""},
    {"update-run-bench", "--help", 0, "usage: update-run-bench", ""},
    // Valdrun starts no detection (in a folder without a description it would say 6), the sample
    // update tool writes no record, the reader simulator starts no reader.
    {"Valdrun", "--help", 0, "usage: Valdrun [-D] [-FROMINSTALLER] [-CHECK]", ""},
    {"Valdrun", "'/?'", 0, "usage: Valdrun", ""},
    {"Valdrun", "--version", 0, "Valdrun 1.", ""},
    {"FWUpdate", "--help", 0, "usage: FWUpdate", ""},
    {"ReaderSim", "--version", 0, "ReaderSim 1.", ""},
    // Usage errors.
    {"MorlinCfg", "", 2, "", "MorlinCfg: a command is missing"},
    {"MorlinCfg", "show a.cfg b.cfg", 2, "", "MorlinCfg: unknown command or too many"},
    {"HalvaneSim", "stray", 2, "", "HalvaneSim: unexpected argument"},
    {"HalvaneSim", "--model frog", 2, "", "HalvaneSim: "},
    {"SampleFirmware", "--size", 2, "", "SampleFirmware: --size needs a value"},
    {"SampleFirmware", "--kind frog --out x.bin", 2, "", "SampleFirmware: bad option --kind"},
    {"ctapi-send", "", 2, "", "ctapi-send: no command given"},
    {"ctapi-send", "--dad 300 '00 B0 00 00 10'", 2, "", "ctapi-send: --dad wants a number"},
    {"ctapi-bench", "lots", 2, "", "ctapi-bench: ROUNDS is one whole number"},
    {"update-run-bench", "--frob", 2, "", "update-run-bench: bad option --frob"},
    // A failed CT-API call is named, with a hint; a card command sent to the terminal noted.
    {"ctapi-send", "'20 13 00 46 00'", 1, "CT_init -1",
     "ctapi-send: CT_init: ERR_INVALID: no Halvane terminal found (is MORLIN_DEVICES set?)"},
    {"ctapi-send", "'00 B0 00 00 10'", 1, "CT_init -1", "card commands need --dad 0"},
    // Options that contradict each other are refused, not half obeyed.
    {"update-run-bench", "--line-only --no-line", 2, "", "leave nothing to run"},
    {"SampleFirmware", "--samples . --out x.bin", 2, "", "takes no other option"},
};

INSTANTIATE_TEST_SUITE_P(AllTools, CommandLineManners, ::testing::ValuesIn(kCases),
                         [](const auto& test_case) {
                             std::string name = std::string(test_case.param.program) + "_" +
                                                std::to_string(test_case.index);
                             std::erase(name, '-');
                             return name;
                         });

} // namespace
