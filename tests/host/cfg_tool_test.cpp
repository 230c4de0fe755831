// MorlinCfg, the configuration tool.
#include "host/cfg_tool.h"
#include "host/config_file.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace morlin {
namespace {

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun run(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int code = run_cfg_tool(arguments, out, err);
    return {code, out.str(), err.str()};
}

TEST(CfgTool, WriteThenShowAndVerify) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.cfg");
    ToolRun result = run({"write", path, "--option", "GUI=no", "--option", "REPORTSTATUS=yes",
                          "--download", "fw.bin"});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.out.find("0x0E818C76"), std::string::npos) << result.out;

    result = run({"write", path, "--option", "GUI=no", "--option", "REPORTSTATUS=yes", "--download",
                  "fw.bin", "--symlink", "dev-7"});
    ASSERT_EQ(result.code, 0) << result.err;

    result = run({"show", path});
    EXPECT_EQ(result.code, 0);
    EXPECT_NE(result.out.find("GUI = no"), std::string::npos);
    EXPECT_NE(result.out.find("1. fw.bin"), std::string::npos);
    EXPECT_NE(result.out.find("SymLink: dev-7"), std::string::npos);
    EXPECT_NE(result.out.find("(matches)"), std::string::npos);

    // fw.bin is listed but not there: a valid file, with a warning that names it.
    result = run({"verify", path});
    EXPECT_EQ(result.code, 0);
    EXPECT_NE(result.out.find(": valid"), std::string::npos);
    EXPECT_NE(result.err.find("warning: download file fw.bin does not exist (" +
                              dir.file("fw.bin") + ")"),
              std::string::npos)
        << result.err;
    test::write_text(dir.file("FW.BIN"), "image"); // found ignoring case, as Morlin finds it
    EXPECT_EQ(run({"verify", path}).err, "");
}

TEST(CfgTool, VerifyFindsDamage) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.cfg");
    ConfigContents contents;
    contents.downloads = {"a.bin"};
    auto image = build_config_image(contents);
    image[10] ^= 1;
    test::write_bytes(path, image);
    ToolRun result = run({"verify", path});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.out.find("does not match"), std::string::npos);
    EXPECT_EQ(run({"show", path}).code, 1);
    EXPECT_EQ(run({"verify", dir.file("none.cfg")}).code, 2);
}

TEST(CfgTool, WriteRefusesWhatTheHostCouldNotRead) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.cfg");
    EXPECT_EQ(run({"write", path, "--option", "NOSUCH=yes"}).code, 2);
    EXPECT_EQ(run({"write", path, "--download", std::string(300, 'f')}).code, 2);
    std::vector<std::string> many = {"write", path};
    for (int i = 0; i < 31; ++i) {
        many.push_back("--download");
        many.push_back("f" + std::to_string(i));
    }
    EXPECT_EQ(run(many).code, 2);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(run({"frobnicate"}).code, 2);
}

} // namespace
} // namespace morlin
