// MorlinCfg, the configuration tool.
#include "host/config/cfg_tool.h"
#include "host/config/config_file.h"
#include "host/plugins/is_tamsel.h"
#include "platform/winapi/registry.h"
#include "test_support.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// `MorlinCfg write morlin.cfg` beside Morlin.cfg saves the file the host reads, keeping its
// mode, and leaves nothing else behind.
TEST(CfgTool, WriteReachesTheFileTheHostReads) {
    test::TempDir dir;
    ConfigContents old_contents;
    old_contents.downloads = {"old.bin"};
    ASSERT_TRUE(save_config_file(dir.file("Morlin.cfg"), old_contents));
    ::chmod(dir.file("Morlin.cfg").c_str(), 0640);

    const ToolRun result = run({"write", dir.file("morlin.cfg"), "--download", "new.bin"});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.out.find("Wrote " + dir.file("Morlin.cfg")), std::string::npos) << result.out;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Morlin.cfg"});
    const ConfigImage image = load_config_image(dir.file("Morlin.cfg"));
    EXPECT_EQ(
        parse_config_records(std::span(image.bytes).subspan(kCheckValueSize)).contents.downloads,
        std::vector<std::string>{"new.bin"});
    EXPECT_EQ(std::filesystem::status(dir.file("Morlin.cfg")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

// Two programs saving at once: every version a reader sees is one whole save.
TEST(ConfigSave, TwoSavesAtOnceNeverMix) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.cfg");
    ConfigContents small;
    small.options = {{"GUI", "no"}};
    ConfigContents large;
    for (int i = 0; i < kMaxDownloadRecords; ++i) {
        large.downloads.push_back("firmware-" + std::to_string(i) + ".bin");
    }
    const auto small_image = build_config_image(small);
    const auto large_image = build_config_image(large);
    ASSERT_TRUE(save_config_file(path, small));
    std::atomic<bool> saving{true};
    std::atomic<int> failed_saves{0};
    auto saver = [&](const ConfigContents& contents) {
        for (int i = 0; i < 150; ++i) {
            failed_saves += save_config_file(path, contents) ? 0 : 1;
        }
    };
    std::thread first(saver, std::cref(small));
    std::thread second(saver, std::cref(large));
    int mixed = 0;
    std::thread reader([&] {
        while (saving) {
            const ConfigImage image = load_config_image(path);
            mixed += image.bytes != small_image && image.bytes != large_image;
        }
    });
    first.join();
    second.join();
    saving = false;
    reader.join();
    EXPECT_EQ(failed_saves, 0);
    EXPECT_EQ(mixed, 0);
    const auto last = load_config_image(path).bytes;
    EXPECT_TRUE(last == small_image || last == large_image);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A name that is a pipe is refused at once, wherever a file is read by name: a Download
// record (the firmware family test), `MorlinCfg show`, and the registry file.
TEST(FilesThatAreNotFiles, APipeIsRefusedWithoutWaiting) {
    test::TempDir dir;
    const std::string fifo = dir.file("Morlin.cfg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<const char*, std::function<bool()>>> readers = {
        {"IsTamsel", [&] { return IsTamsel(fifo.c_str()) == 0; }},
        {"MorlinCfg show",
         [&] {
             return run({"show", fifo}).code == 2;
         }},
        {"MorlinCfg verify",
         [&] {
             return run({"verify", dir.file("MORLIN.CFG")}).code == 2;
         }},
        {"registry",
         [&] {
             ::setenv("MORLIN_REGISTRY", fifo.c_str(), 1);
             const bool absent = !platform::registry_key_exists("SOFTWARE");
             ::unsetenv("MORLIN_REGISTRY");
             return absent;
         }},
    };
    for (const auto& [name, read] : readers) {
        auto result = std::async(std::launch::async, read);
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << name << " waits on the pipe";
            // Let the reader go: a writer appears and leaves.
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_TRUE(result.get()) << name;
    }
}

} // namespace
} // namespace morlin
