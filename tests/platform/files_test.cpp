#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using test_support::TempDir;
using test_support::write_text;

TEST(PlatformWildcard, MatchesLikeWindowsIgnoringCase) {
    EXPECT_TRUE(platform::wildcard_match("VUP*.so", "VUPPorta.so"));
    EXPECT_TRUE(platform::wildcard_match("VUP*.so", "vupporta.SO"));
    EXPECT_TRUE(platform::wildcard_match("VUP*.so", "VUP.so"));
    EXPECT_FALSE(platform::wildcard_match("VUP*.so", "VUPPorta.so.1"));
    EXPECT_FALSE(platform::wildcard_match("VUP*.so", "XVUPPorta.so"));
    EXPECT_TRUE(platform::wildcard_match("a?c", "abc"));
    EXPECT_FALSE(platform::wildcard_match("a?c", "ac"));
    EXPECT_TRUE(platform::wildcard_match("*a*a*", "banana"));
    EXPECT_FALSE(platform::wildcard_match("*a*a*b", "banana"));
    EXPECT_TRUE(platform::wildcard_match("*", ""));
    EXPECT_FALSE(platform::wildcard_match("", "x"));
    EXPECT_TRUE(platform::wildcard_match("**", "anything"));
}

TEST(PlatformWildcard, StarDotStarTakesNamesWithoutExtension) {
    EXPECT_TRUE(platform::wildcard_match("*.*", "README"));
    EXPECT_TRUE(platform::wildcard_match("Morlin.*", "Morlin"));
    EXPECT_TRUE(platform::wildcard_match("Morlin.*", "morlin.cfg"));
    EXPECT_FALSE(platform::wildcard_match("Morlin.*", "Morlinx"));
}

TEST(PlatformFindFiles, ListsRegularFilesThatMatch) {
    TempDir dir;
    write_text(dir.file("VUPPorta.so"), "x");
    write_text(dir.file("vupother.SO"), "x");
    write_text(dir.file("Other.so"), "x");
    std::filesystem::create_directory(dir.path() / "VUPFolder.so");
    write_text(dir.file("VUPA.so"), "x");
    auto names = platform::find_files(dir.path().string(), "VUP*.so");
    EXPECT_EQ(names, (std::vector<std::string>{"VUPA.so", "vupother.SO", "VUPPorta.so"}));
    EXPECT_TRUE(platform::find_files(dir.file("missing"), "*").empty());
}

#ifndef _WIN32 // the Windows file system ignores case itself
TEST(PlatformFindFileIgnoringCase, PrefersExactMatchAndAcceptsBackslashes) {
    TempDir dir;
    write_text(dir.file("Morlin.cfg"), "x");
    auto found = platform::find_file_ignoring_case(dir.path().string(), "MORLIN.CFG");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, dir.file("Morlin.cfg"));
    write_text(dir.file("MORLIN.CFG"), "y");
    EXPECT_EQ(*platform::find_file_ignoring_case(dir.path().string(), "MORLIN.CFG"),
              dir.file("MORLIN.CFG"));
    EXPECT_FALSE(platform::find_file_ignoring_case(dir.path().string(), "none.cfg"));
    EXPECT_EQ(platform::last_error(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::find_file_ignoring_case(dir.path().string(), ".."));

    std::filesystem::create_directory(dir.path() / "Sub");
    write_text(dir.file("Sub/DevInfo.txt"), "z");
    std::string windows_style = dir.path().string() + "\\Sub\\devinfo.TXT";
    EXPECT_EQ(platform::resolve_ignoring_case(windows_style), dir.file("Sub/DevInfo.txt"));
    EXPECT_EQ(platform::resolve_ignoring_case(dir.file("Sub/absent.txt")),
              dir.file("Sub/absent.txt"));
}
#endif

TEST(PlatformFile, ExclusiveOpenIsASharingViolation) {
    TempDir dir;
    std::string path = dir.file("locked.bin");
    platform::OpenOptions exclusive{platform::Access::ReadWrite, platform::Share::None,
                                    platform::Disposition::CreateAlways, true};
    auto holder = platform::File::open(path, exclusive);
    ASSERT_TRUE(holder);
    EXPECT_FALSE(platform::File::open(path, platform::OpenOptions{}));
    EXPECT_EQ(platform::last_error(), platform::kErrorSharingViolation);
    holder.reset();
    EXPECT_TRUE(platform::File::open(path, platform::OpenOptions{}));
}

TEST(PlatformFile, CreateAlwaysDoesNotTruncateAFileHeldExclusively) {
    TempDir dir;
    std::string path = dir.file("log.txt");
    write_text(path, "keep me");
    platform::OpenOptions exclusive{platform::Access::ReadWrite, platform::Share::None,
                                    platform::Disposition::OpenExisting, false};
    auto holder = platform::File::open(path, exclusive);
    ASSERT_TRUE(holder);
    platform::OpenOptions recreate{platform::Access::Write, platform::Share::Read,
                                   platform::Disposition::CreateAlways, false};
    EXPECT_FALSE(platform::File::open(path, recreate));
    holder.reset(); // Windows lets no one read it while it is held
    EXPECT_EQ(test_support::read_text(path), "keep me");
}

TEST(PlatformFile, WritesReadsSeeksAndHonoursDispositions) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    platform::OpenOptions create_new{platform::Access::ReadWrite, platform::Share::Read,
                                     platform::Disposition::CreateNew, true};
    auto file = platform::File::open(path, create_new);
    ASSERT_TRUE(file);
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(file->write(bytes));
    EXPECT_EQ(file->size(), 5u);
    ASSERT_TRUE(file->seek(3));
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(file->read(buffer), 2u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(file->read(buffer), 0u);
    file.reset();

    EXPECT_FALSE(platform::File::open(path, create_new));
    EXPECT_EQ(platform::last_error(), platform::kErrorFileExists);
    EXPECT_FALSE(platform::File::open(dir.file("absent"), platform::OpenOptions{}));
    EXPECT_EQ(platform::last_error(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::File::open(dir.path().string(), platform::OpenOptions{}));
    EXPECT_EQ(platform::last_error(), platform::kErrorAccessDenied);

    auto whole = platform::read_file(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), 5u);
    EXPECT_FALSE(platform::read_file(path, 4));
}

TEST(PlatformFiles, ReplaceDeleteAndDirectories) {
    TempDir dir;
    write_text(dir.file("new.cfg"), "new");
    write_text(dir.file("old.cfg"), "old");
    ASSERT_TRUE(platform::replace_file(dir.file("new.cfg"), dir.file("old.cfg")));
    EXPECT_EQ(test_support::read_text(dir.file("old.cfg")), "new");
    EXPECT_FALSE(platform::file_exists(dir.file("new.cfg")));
    EXPECT_FALSE(platform::replace_file(dir.file("new.cfg"), dir.file("old.cfg")));
    EXPECT_EQ(test_support::read_text(dir.file("old.cfg")), "new");

    EXPECT_TRUE(platform::create_directory(dir.file("sub")));
    EXPECT_TRUE(platform::create_directory(dir.file("sub")));
    EXPECT_TRUE(platform::directory_exists(dir.file("sub")));
    EXPECT_FALSE(platform::file_exists(dir.file("sub")));
    EXPECT_TRUE(platform::delete_file(dir.file("old.cfg")));
    EXPECT_FALSE(platform::delete_file(dir.file("old.cfg")));
    EXPECT_EQ(platform::join_path("a\\", "b"), "a\\b");
    EXPECT_EQ(platform::join_path("a", "b"), "a/b");
#ifdef _WIN32
    EXPECT_EQ(platform::native_path("C:/x/y"), "C:\\x\\y");
#else
    EXPECT_EQ(platform::native_path("C:\\x\\y"), "C:/x/y");
#endif
    EXPECT_FALSE(platform::program_directory().empty());
}

// The messages name the variable that the temporary folder follows (TMPDIR; TMP on Windows).
TEST(PlatformFiles, TheTemporaryFolderFollowsTheVariableThatMessagesName) {
    TempDir dir;
    test_support::EnvGuard temp(platform::temp_directory_variable(), dir.path().string().c_str());
    EXPECT_EQ(platform::temp_directory(), dir.path().string());
}

// The folder of a library's own path, where a plug-in looks for what lies beside it: Windows
// paths come with either separator.
TEST(PlatformFiles, FolderOfAPath) {
#ifdef _WIN32
    const bool windows = true;
#else
    const bool windows = false;
#endif
    const struct {
        const char* path;
        const char* folder;
        const char* folder_on_windows;
    } cases[] = {
        {"C:\\Program Files\\Morlin\\VUPPorta.dll", "", "C:\\Program Files\\Morlin"},
        {"C:/Morlin/VUPPorta.dll", "C:/Morlin", "C:/Morlin"},
        {"Z:\\tmp/x\\VUPPorta.dll", "Z:\\tmp", "Z:\\tmp/x"},
        {"/usr/lib/morlin/VUPPorta.so", "/usr/lib/morlin", "/usr/lib/morlin"},
        {"VUPPorta.dll", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::folder_of(c.path), windows ? c.folder_on_windows : c.folder) << c.path;
    }
}

} // namespace
