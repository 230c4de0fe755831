// The reader description and the profile rules it is read with.
#include "platform/profile/profile.h"
#include "tests/common/temp_dir.h"
#include "wrapper/reader_description.h"

#include <gtest/gtest.h>

namespace {

using valdrun::parse_reader_description;

TEST(Profile, FollowsTheWindowsRulesOverLibinih) {
    const std::string long_value(300, 'x');
    const std::string text = "\xEF\xBB\xBF[Sec]\n"
                             "Plain = value with ; semicolon \r\n"
                             "  Indented=is a key, not a continuation\n"
                             "Quoted=\"  kept blanks  \"\n"
                             "Colon:Value=not split at the colon\n"
                             "Long=" +
                             long_value +
                             "=tail\n"
                             "first=1\nFIRST=2\n"
                             "[other]\nX=1\n[sec]\nLater=ignored\n";
    const auto profile = platform::Profile::parse(text);
    EXPECT_EQ(profile.string("SEC", "plain"), "value with ; semicolon");
    EXPECT_EQ(profile.string("Sec", "Indented"), "is a key, not a continuation");
    EXPECT_EQ(profile.string("Sec", "Quoted"), "  kept blanks  ");
    EXPECT_EQ(profile.string("Sec", "Colon:Value"), "not split at the colon");
    EXPECT_EQ(profile.string("Sec", "Long"), std::string(259, 'x'));
    EXPECT_EQ(profile.string("Sec", "Long", 1000), long_value + "=tail");
    EXPECT_FALSE(profile.string("Sec", "xxxxxxxxxxxxxxxxxxxx")) << "a long line's rest is no line";
    EXPECT_EQ(profile.string("Sec", "First"), "1");
    EXPECT_FALSE(profile.string("Sec", "Later")) << "only the first section of a name counts";
    EXPECT_FALSE(profile.string("Missing", "X"));
    EXPECT_EQ(profile.integer("other", "x", 7), 1);
}

TEST(Profile, CutsNeverInsideACharacter) {
    const std::string value = std::string(258, 'a') + "\xC3\xA4"; // 'ä' across byte 259
    const auto profile = platform::Profile::parse("[S]\nK=" + value + "\n");
    EXPECT_EQ(profile.string("S", "K"), std::string(258, 'a'));
}

struct DescriptionCase {
    const char* what;
    const char* keys; // the lines after [ReaderDetails]
    bool ok;
    const char* slot0;
    const char* slot1;
    int active_slot;
};

class Description : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(Description, ReadsTheKeysInTheirOrder) {
    const DescriptionCase& c = GetParam();
    const auto d = parse_reader_description(std::string("[ReaderDetails]\n") + c.keys);
    ASSERT_EQ(d.has_value(), c.ok) << c.what;
    if (!d)
        return;
    EXPECT_EQ(d->slot_name[0], c.slot0) << c.what;
    EXPECT_EQ(d->slot_name[1], c.slot1) << c.what;
    EXPECT_EQ(d->active_slot, c.active_slot) << c.what;
}

constexpr const char* kTail = "VID=04E6\nPID=5720\nFWVER=5.10\nDescriptor=Leser\n";

INSTANTIATE_TEST_SUITE_P(
    Valdrun, Description,
    ::testing::Values(
        DescriptionCase{"terminal wins over a reader",
                        "TerminalName=Halvane\nReaderName=R\nVID=04E6\nPID=1A02\nFWVER=2.1.4\n"
                        "APPVER=1.5\nDescriptor=H\n",
                        true, "Halvane", "", 0},
        DescriptionCase{"terminal needs APPVER",
                        "TerminalName=Halvane\nVID=04E6\nPID=1A02\nFWVER=2.1.4\nDescriptor=H\n",
                        false, "", "", 0},
        DescriptionCase{"ReaderName: ReaderName2 and HardwareID are not read",
                        "ReaderName=R\nReaderName2=S\nVID=04E6\nPID=5720\nFWVER=5.10\n"
                        "Descriptor=L\n",
                        true, "R", "", 0},
        DescriptionCase{"ReaderName1 and ReaderName2 without HardwareID fail",
                        "ReaderName1=R\nReaderName2=S\nVID=04E6\nPID=5720\nFWVER=5.10\n"
                        "Descriptor=L\n",
                        false, "", "", 0},
        DescriptionCase{"both slots: slot 1 active until detection decides",
                        "ReaderName1=R\nReaderName2=S\nHardwareID=H\nVID=04E6\nPID=5720\n"
                        "FWVER=5.10\nDescriptor=L\n",
                        true, "R", "S", 1},
        DescriptionCase{"serial only needs no VID or PID",
                        "ReaderName2=S\nHardwareID=H\nFWVER=5.10\nDescriptor=L\n", true, "", "S",
                        1},
        DescriptionCase{"no reader at all", kTail, false, "", "", 0},
        DescriptionCase{"an empty value counts as absent", "ReaderName=\nVID=04E6\n", false, "", "",
                        0},
        DescriptionCase{"missing PID", "ReaderName=R\nVID=04E6\nFWVER=5.10\nDescriptor=L\n", false,
                        "", "", 0},
        DescriptionCase{"missing Descriptor", "ReaderName=R\nVID=04E6\nPID=1\nFWVER=5.10\n", false,
                        "", "", 0},
        DescriptionCase{"FWVER that does not scan",
                        "ReaderName=R\nVID=04E6\nPID=1\nFWVER=five\nDescriptor=L\n", false, "", "",
                        0},
        DescriptionCase{"VID that does not scan",
                        "ReaderName=R\nVID=zz\nPID=1\nFWVER=5.10\nDescriptor=L\n", false, "", "",
                        0}));

TEST(Description, FlagsDefaultsAndNumbers) {
    const auto d = parse_reader_description(
        "[readerdetails]\nreadername=R\nVID= 04e6 \nPID=5720\nUSBOnly=yes\nDISPLAYWARNING=Yes\n"
        "FWVER=5.1a\nDescriptor=L\nFWUpdateTool=\n");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->usb_only);
    EXPECT_TRUE(d->display_warning);
    EXPECT_EQ(d->vid, 0x04E6);
    EXPECT_EQ(d->pid, 0x5720);
    EXPECT_EQ(d->target_firmware.major, 5);
    EXPECT_EQ(d->target_firmware.minor, 0x1A);
    EXPECT_EQ(d->update_tool, "FWUpdate.exe");
    EXPECT_EQ(d->command_line, "");
}

TEST(Description, MissingUnreadableOrAFolder) {
    morlin_test::TempDir dir;
    EXPECT_FALSE(valdrun::read_reader_description(dir.file("Valdrun.ini")));
    std::filesystem::create_directory(dir.path() / "Folder.ini");
    EXPECT_FALSE(valdrun::read_reader_description(dir.file("Folder.ini")));
    morlin_test::write_text(dir.path() / "Other.ini", "[Other]\nReaderName=R\n");
    EXPECT_FALSE(valdrun::read_reader_description(dir.file("Other.ini")));
}

TEST(Description, LiesBesideTheProgram) {
    EXPECT_EQ(valdrun::sibling_file("/opt/v/Valdrun", "ini"), "/opt/v/Valdrun.ini");
    EXPECT_EQ(valdrun::sibling_file("/opt/v.1/Valdrun", "ini"), "/opt/v.1/Valdrun.ini");
    EXPECT_EQ(valdrun::sibling_file("C:\\Tools\\Valdrun.exe", "log"), "C:\\Tools\\Valdrun.log");
    EXPECT_EQ(valdrun::sibling_file("/a/b.c.exe", "ini"), "/a/b.c.ini");
}

} // namespace
