// The log file: line format, header, where it lives, size limit trimmed in place, symbolic
// links refused, the shared log function from many threads.
#include "host/host_log.h"
#include "test_support.h"
#include "texts-and-log/log_writer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace morlin {
namespace {

platform::LocalTime sample_time() {
    platform::LocalTime time;
    time.year = 2026;
    time.month = 3;
    time.day = 11;
    time.hour = 9;
    time.minute = 14;
    time.second = 2;
    return time;
}

// "MM/DD/YY HH:MM:SS " in front of the message.
bool has_stamp(const std::string& line) {
    const std::string shape = "00/00/00 00:00:00 ";
    if (line.size() < shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

TEST(LogFormat, LineAndHeader) {
    EXPECT_EQ(format_log_line(sample_time(), "hello"), "03/11/26 09:14:02 hello\r\n");
    // No bare line break reaches the file: breaks inside become blanks, one at the end goes;
    // only a message that itself ends in CR LF keeps it (an empty line follows).
    const std::pair<const char*, const char*> breaks[] = {
        {"deletes all stored records.\nDo you want", "deletes all stored records. Do you want"},
        {"two\r\nlines", "two lines"},
        {"trailing\n", "trailing"},
        {"Quits the current session.\r\n", "Quits the current session.\r\n"},
        {"odd\rbreak\n\r\n", "odd break\r\n"},
    };
    for (const auto& [message, logged] : breaks) {
        EXPECT_EQ(format_log_line(sample_time(), message),
                  "03/11/26 09:14:02 " + std::string(logged) + "\r\n")
            << message;
    }
    const std::string header = format_log_header(sample_time());
    EXPECT_EQ(header, "Morlin Integrated Firmware Update Utility 03-11-2026 09:14:02");
    EXPECT_EQ(header.size(), 61u);
}

// Trimming happens in place: the log stays the same file (mode, hard links), and no other name
// in its folder is written, so a name planted there (a symbolic link to a victim file) and
// a folder without write rights change nothing.
TEST(LogWriter, TrimsToTheTailInPlaceBeforeWritingWhenOverTheLimit) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.log");
    std::string original;
    for (int i = 0; original.size() < 250000; ++i) {
        original += "line " + std::to_string(i) + "\r\n";
    }
    original.resize(250000);
    test::write_text(path, original);
    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(::link(path.c_str(), dir.file("second-name.log").c_str()), 0);
    test::write_text(dir.file("victim"), "untouched");
    std::filesystem::create_symlink(dir.file("victim"), path + ".trim");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    int reads = 0;
    SizeLimitedLogWriter writer([&reads] {
        ++reads;
        return std::uint64_t{200 * 1024};
    });
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(writer.write("next\r\n"));
    const std::string trimmed = test::read_text(path);
    EXPECT_EQ(trimmed, original.substr(250000 - 184320) + "next\r\n");

    ASSERT_TRUE(writer.write("more\r\n")); // below the limit now: appended only
    EXPECT_EQ(test::read_text(path), trimmed + "more\r\n");
    EXPECT_EQ(reads, 1); // the limit is read once

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(test::read_text(dir.file("second-name.log")), trimmed + "more\r\n");
    EXPECT_EQ(test::read_text(dir.file("victim")), "untouched");
    EXPECT_TRUE(std::filesystem::is_symlink(path + ".trim"));
}

// A log that its user may write, in a folder that user may not write: trimming still works.
// (As root, whom folder rights do not stop, the writer runs as another user in a child.)
TEST(LogWriter, TrimsALogInAFolderWithoutWriteRights) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("read-only");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/Morlin.log";
    test::write_text(path, std::string(3000, 'a') + std::string(1000, 'b'));
    ::chmod(path.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    const auto write_over_the_limit = [&path] {
        SizeLimitedLogWriter writer([] { return std::uint64_t{2000}; });
        return writer.open(path) && writer.write("line\r\n");
    };
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool other_user = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(other_user && write_over_the_limit() ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        EXPECT_TRUE(write_over_the_limit());
    }
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(test::read_text(path), std::string(800, 'a') + std::string(1000, 'b') + "line\r\n");
}

TEST(LogWriter, ALogPathThatIsASymbolicLinkIsNeitherFollowedNorReplaced) {
    test::TempDir dir;
    test::write_text(dir.file("victim"), "untouched");
    const std::string path = dir.file("Morlin.log");
    for (const std::string& target : {dir.file("victim"), dir.file("not-yet-there")}) {
        std::filesystem::remove(path);
        std::filesystem::create_symlink(target, path);
        SizeLimitedLogWriter writer([] { return std::uint64_t{0}; });
        EXPECT_FALSE(writer.open(path)) << target;
        EXPECT_FALSE(writer.write("planted\r\n"));
        set_log_disabled(false);
        EXPECT_FALSE(open_host_log(path, "Morlin - Test 1.24")) << target;
        host_log("%s", "planted");
        EXPECT_TRUE(std::filesystem::is_symlink(path));
    }
    EXPECT_EQ(test::read_text(dir.file("victim")), "untouched");
    EXPECT_FALSE(std::filesystem::exists(dir.file("not-yet-there")));
}

TEST(LogWriter, ANewLogIsReadableByItsOwnerOnly) {
    test::TempDir dir;
    SizeLimitedLogWriter writer([] { return std::uint64_t{0}; });
    ASSERT_TRUE(writer.open(dir.file("Morlin.log")));
    EXPECT_EQ(std::filesystem::status(dir.file("Morlin.log")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(LogPath, TheEnvironmentChoosesElseTheUsersStateFolder) {
    test::TempDir dir;
    const char* saved[] = {"MORLIN_LOG_FILE", "XDG_STATE_HOME", "HOME"};
    std::vector<std::pair<std::string, std::optional<std::string>>> restore;
    for (const char* name : saved) {
        const char* value = std::getenv(name);
        restore.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("HOME", dir.file("home").c_str(), 1);
    ::unsetenv("MORLIN_LOG_FILE");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(log_file_path(), dir.file("home/.local/state/morlin/Morlin.log"));
    EXPECT_EQ(std::filesystem::status(dir.file("home/.local/state/morlin")).permissions(),
              std::filesystem::perms::owner_all);
    ::setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
    EXPECT_EQ(log_file_path(), dir.file("state/morlin/Morlin.log"));
    ::setenv("XDG_STATE_HOME", "relative/state", 1); // not absolute: ignored
    EXPECT_EQ(log_file_path(), dir.file("home/.local/state/morlin/Morlin.log"));
    ::setenv("MORLIN_LOG_FILE", "/any/file.log", 1);
    EXPECT_EQ(log_file_path(), "/any/file.log");
    for (const auto& [name, value] : restore) {
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
}

TEST(LogWriter, LimitZeroMeansNoTrimming) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.log");
    test::write_text(path, std::string(5000, 'x'));
    SizeLimitedLogWriter writer([] { return std::uint64_t{0}; });
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(writer.write("y\r\n"));
    EXPECT_EQ(test::read_text(path).size(), 5003u);
}

TEST(LogWriter, NothingIsWrittenWhenNotOpen) {
    SizeLimitedLogWriter writer([] { return std::uint64_t{0}; });
    EXPECT_FALSE(writer.write("lost\r\n"));
}

TEST(LogWriter, LimitFromTheRegistryIsCut) {
    test::TempDir dir;
    test::write_text(dir.file("registry.reg"),
                     "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf]\r\n"
                     "\"LogFileLimitKB\"=dword:00007530\r\n");
    ::setenv("MORLIN_REGISTRY", dir.file("registry.reg").c_str(), 1);
    EXPECT_EQ(read_log_size_limit(), 0x1900000u);
    ::unsetenv("MORLIN_REGISTRY");
}

class HostLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("Morlin.log");
        set_log_disabled(false);
        ASSERT_TRUE(open_host_log(path_, "Morlin - Test 1.24"));
    }
    void TearDown() override {
        close_host_log();
        set_log_disabled(false);
    }
    std::vector<std::string> messages() {
        std::vector<std::string> result;
        for (const std::string& line : test::lines_of(test::read_text(path_))) {
            result.push_back(line.size() >= 18 ? line.substr(18) : line);
        }
        return result;
    }
    test::TempDir dir_;
    std::string path_;
};

TEST_F(HostLogTest, HeaderLinesStampedAndEndedWithCrLf) {
    host_log("%s(%i) :Selected device is device %d", "Morlin", 1655, 2);
    const std::string text = test::read_text(path_);
    const auto all = test::lines_of(text);
    ASSERT_EQ(all.size(), 4u);
    for (const auto& line : all) {
        EXPECT_TRUE(has_stamp(line)) << line;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              std::count(text.begin(), text.end(), '\r'));
    const auto lines = messages();
    EXPECT_EQ(lines[0].rfind("Morlin Integrated Firmware Update Utility ", 0), 0u);
    EXPECT_EQ(lines[0].size(), 61u);
    EXPECT_EQ(lines[1], std::string(61, '-'));
    EXPECT_EQ(lines[2], "Morlin - Test 1.24");
    EXPECT_EQ(lines[3], "Morlin(1655) :Selected device is device 2");
}

TEST_F(HostLogTest, LongMessagesAreCutAt260Characters) {
    const std::string long_text(300, 'm');
    host_log("%s", long_text.c_str());
    EXPECT_EQ(messages().back(), std::string(260, 'm'));
}

TEST_F(HostLogTest, DisabledLogWritesNothing) {
    const auto before = test::read_text(path_);
    set_log_disabled(true);
    host_log("%s", "dropped");
    EXPECT_EQ(test::read_text(path_), before);
}

TEST_F(HostLogTest, ThreadsLoggingAtOnceNeverMixTheirLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                host_log("%s(%i) :thread %d line %d %s", "DeviceMonitor", t, t, i,
                         std::string(static_cast<std::size_t>(40 + t), static_cast<char>('a' + t))
                             .c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = messages();
    ASSERT_EQ(lines.size(), 3u + kThreads * kLines);
    for (std::size_t i = 3; i < lines.size(); ++i) {
        int source = -1, thread = -1, line = -1, consumed = 0;
        char text[80] = {};
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "DeviceMonitor(%d) :thread %d line %d %79s%n",
                              &source, &thread, &line, text, &consumed),
                  4)
            << lines[i];
        EXPECT_EQ(static_cast<std::size_t>(consumed), lines[i].size()) << lines[i];
        EXPECT_EQ(source, thread);
        ASSERT_TRUE(thread >= 0 && thread < kThreads);
        EXPECT_EQ(std::string(text), std::string(static_cast<std::size_t>(40 + thread),
                                                 static_cast<char>('a' + thread)));
    }
}

} // namespace
} // namespace morlin
