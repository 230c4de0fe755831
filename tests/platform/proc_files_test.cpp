// The kernel's process files as the process table reads them, including the names and lines
// that a process can shape to mislead a simpler reader.
#include "platform/files/file_trust.h"
#include "platform/processes/proc_files.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

TEST(ProcFiles, ProgramNameIsCommUnlessTheKernelCutIt) {
    struct Case {
        std::string comm, command_line, name;
    };
    for (const Case& c : {
             Case{"zkaservice.exe\n", "/opt/zka/zkaservice.exe\0"s, "zkaservice.exe"},
             Case{"averylongprogra\n", "/usr/bin/averylongprogramname\0-x\0"s,
                  "averylongprogramname"},
             Case{"averylongprogra\n", "averylongprogramname"s, "averylongprogramname"},
             // A command line that names another program does not lend its name.
             Case{"averylongprogra\n", "/usr/bin/python3\0averylongprogramname\0"s,
                  "averylongprogra"},
             Case{"sleep\n", "/tmp/zkaservice.exe\0"s, "sleep"},
             Case{"", "", ""},
         }) {
        EXPECT_EQ(platform::program_name_from(c.comm, c.command_line), c.name) << c.comm;
    }
}

TEST(ProcFiles, ParentIsReadBehindTheLastParenthesis) {
    EXPECT_EQ(platform::parent_from_stat("4242 (sleep) S 17 4242 4242 0"), 17u);
    EXPECT_EQ(platform::parent_from_stat("4242 (a) S 99 (b) S 17 1 1 0"), 17u);
    EXPECT_EQ(platform::parent_from_stat("4242 (x) S"), 0u);
    EXPECT_EQ(platform::parent_from_stat("4242 (x) S 1x 2"), 0u);
    EXPECT_EQ(platform::parent_from_stat("no parenthesis"), 0u);
}

TEST(ProcFiles, MappedFilesLoseTheirDeletedMark) {
    EXPECT_EQ(platform::mapped_file_from("7f00-7f10 r-xp 00000000 08:01 1234   /usr/lib/a b.so\n"),
              "/usr/lib/a b.so");
    EXPECT_EQ(platform::mapped_file_from("7f00-7f10 r-xp 00000000 08:01 1234 /opt/z.exe (deleted)"),
              "/opt/z.exe");
    EXPECT_FALSE(platform::mapped_file_from("7f00-7f10 rw-p 00000000 00:00 0   [heap]"));
}

TEST(ProcFiles, CredentialsAndZombiesFromStatusAndStat) {
    const auto credentials = platform::credentials_from_status(
        "Name:\tzka\nState:\tS\nUid:\t1000\t0\t0\t0\nGid:\t100\t50\t50\t50\n"
        "Groups:\t4 24 \n");
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->real_user, 1000u);
    EXPECT_EQ(credentials->user, 0u);
    EXPECT_EQ(credentials->group, 50u);
    EXPECT_EQ(credentials->groups, (std::vector<std::uint32_t>{4, 24}));
    EXPECT_FALSE(platform::credentials_from_status("Uid:\t0\t0\t0\t0\n")) << "no Gid line";
    EXPECT_FALSE(platform::credentials_from_status("Uid:\tx\nGid:\t0\t0\n"));
    EXPECT_TRUE(platform::zombie_from_stat("42 (zkaservice.exe) Z 1 42"));
    EXPECT_TRUE(platform::zombie_from_stat("42 (a) S (b) Z 1 42"));
    EXPECT_FALSE(platform::zombie_from_stat("42 (a) Z) S 1 42")) << "the state after the last ')'";
}

TEST(FileTrust, OnlyRootsOrTheAllowedOwnersAndWritableByNoOneElse) {
    struct Case {
        std::uint32_t owner, mode;
        bool directory, link;
        bool trusted;
    };
    for (const Case& c :
         {Case{0, 0755, false, false, true}, Case{1000, 0755, false, false, true},
          Case{1001, 0755, false, false, false}, Case{0, 0775, false, false, false},
          Case{0, 0757, true, false, false}, Case{0, 01777, true, false, true},
          Case{1000, 01777, true, false, false}, Case{0, 0777, false, true, false}}) {
        platform::FileFacts facts;
        facts.owner = c.owner;
        facts.mode = c.mode;
        facts.directory = c.directory;
        facts.regular = !c.directory && !c.link;
        facts.symbolic_link = c.link;
        EXPECT_EQ(!platform::why_untrusted(facts, 1000), c.trusted) << c.owner << " " << c.mode;
    }
}

} // namespace
