// The run report: its blocks byte for byte (the lines that depend on the run: names, versions,
// the other reader, the return code), the date and time pictures of both languages, and the
// file (appended, never cut, an open failure shown and nothing written).
#include "../common/temp_dir.h"
#include "platform/user_interface/ui.h"
#include "wrapper/language.h"
#include "wrapper/report/run_report.h"
#include "wrapper/report/run_report_block.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using namespace valdrun;
using morlin_test::read_text;
using morlin_test::TempDir;

const std::string kRule(73, '*');
const std::string kVersionLine = "Valdrun Version 2.10.00.00";

ReaderDescription reader() {
    ReaderDescription d;
    d.slot_name = {"Ostrum Kartenleser", "Ostrum Serial"};
    d.descriptor = "Kartenleser K5";
    d.target_firmware = {0x5, 0x10, kNoBuild};
    return d;
}

ReaderDescription terminal() {
    ReaderDescription d;
    d.terminal = true;
    d.slot_name[0] = "Halvane";
    d.descriptor = "Halvane";
    d.target_firmware = {2, 1, 4};
    d.target_application = {1, 5, kNoBuild};
    return d;
}

PassOutcome reader_found(int result) {
    PassOutcome o;
    o.result = result;
    o.reader_count = 1;
    o.version_reply[6] = 0x5;
    o.version_reply[7] = 0x1A; // shown in small hexadecimal letters
    return o;
}

PassOutcome terminal_found(int result) {
    PassOutcome o;
    o.result = result;
    o.reader_count = 1;
    o.terminal = {1, 4, 2, 1, 3};
    o.terminal_port_name = "/dev/ttyACM0";
    return o;
}

const ReportStamp kStamp{"December 09 2026", "06:27 PM", Language::English};

TEST(RunReportBlock, EveryReturnCodeByteForByte) {
    const std::string reader_head = "\nOstrum Kartenleser\n\nCurrent firmware version: V5.1a";
    const std::string terminal_head = "\n/dev/ttyACM0\n\nCurrent application version: V1.04\n"
                                      "Current firmware version: V2.1.3";
    PassOutcome other = reader_found(3);
    other.other_reader_name = "Fremder Leser 0";
    PassOutcome serial = reader_found(1);
    serial.active_slot = 1;
    struct Case {
        const char* what;
        ReaderDescription description;
        PassOutcome detected;
        bool notice_shown;
        int code;
        std::string lines; // between the maker's line and the date
    };
    const Case cases[] = {
        {"reader loaded", reader(), reader_found(1), false, 0,
         reader_head + "\nNew firmware version: V5.10\n\nThe new firmware is loaded successfully."
                       "\nReturnCode: 0\n"},
        {"serial reader loaded", reader(), serial, false, 0,
         "\nOstrum Serial\n\nCurrent firmware version: V5.1a\nNew firmware version: V5.10"
         "\n\nThe new firmware is loaded successfully.\nReturnCode: 0\n"},
        {"terminal, both parts loaded", terminal(), terminal_found(0x11), false, 0,
         terminal_head + "\n\nNew application version: V1.05\nNew firmware version: V2.1.4\n"
                         "\n\nThe new firmware is loaded successfully.\nReturnCode: 0\n"},
        {"terminal, firmware alone", terminal(), terminal_found(0x01), false, 0,
         terminal_head + "\n\nNew firmware version: V2.1.4\n"
                         "\n\nThe new firmware is loaded successfully.\nReturnCode: 0\n"},
        {"not found, other reader after the notice", reader(), other, true, 2,
         "\nFremder Leser 0 is found connected in the system\n"
         "\nNo Kartenleser K5 smart card reader is available for use with the resource "
         "manager!\n\nReturnCode: 2\n"},
        {"not found, notice not shown", reader(), other, false, 2,
         "\nNo Kartenleser K5 smart card reader is available for use with the resource "
         "manager!\n\nReturnCode: 2\n"},
        {"not found, no other reader", reader(), reader_found(2), true, 2,
         "\nNo Kartenleser K5 smart card reader is available for use with the resource "
         "manager!\n\nReturnCode: 2\n"},
        {"up to date", reader(), reader_found(0), false, 3,
         reader_head + "\n\nThe reader is up-to-date!\nReturnCode: 0\n"},
        {"terminal up to date", terminal(), terminal_found(0), false, 3,
         terminal_head + "\n\nThe reader is up-to-date!\nReturnCode: 0\n"},
        {"tool failed", terminal(), terminal_found(0x11), false, 7,
         terminal_head + "\nFirmware update failed\nReturnCode: 7\n"},
        {"rename failed", reader(), reader_found(1), false, 13,
         reader_head + "\nFirmware update failed\nReturnCode: 13\n"},
    };
    for (const Case& c : cases) {
        const ReportFacts facts{c.description, c.detected, kVersionLine, c.notice_shown};
        EXPECT_EQ(run_report_block(facts, c.code, kStamp),
                  "\n" + kRule + "\nValdrun Version 2.10.00.00\nCopyright (C) Ostrum" + c.lines +
                      "\nDecember 09 2026, 06:27 PM\n\n" + kRule)
            << c.what;
    }
}

class LocalZone : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            saved_ = tz;
        }
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1); // Central European time
        ::tzset();
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> saved_;
};

TEST_F(LocalZone, DateAndTimeInThePicturesOfEachLanguage) {
    using std::chrono::sys_days;
    struct Case {
        std::chrono::system_clock::time_point instant;
        Language language;
        const char* line;
    };
    const auto winter = sys_days{std::chrono::year{2026} / 3 / 1} + std::chrono::hours{17} +
                        std::chrono::minutes{5} + std::chrono::seconds{59};
    const auto summer =
        sys_days{std::chrono::year{2026} / 7 / 9} + std::chrono::hours{7} + std::chrono::minutes{3};
    for (const Case& c : {Case{winter, Language::German, "\n1 M\xC3\xA4rz 2026, 18:05 Uhr\n"},
                          Case{winter, Language::English, "\nMarch 01 2026, 06:05 PM\n"},
                          Case{summer, Language::German, "\n9 Juli 2026, 09:03 Uhr\n"},
                          Case{summer, Language::English, "\nJuly 09 2026, 09:03 AM\n"}})
        EXPECT_EQ(report_stamp_line(report_stamp(c.instant, c.language)), c.line);
}

class ReportFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_ = std::make_shared<platform::ScriptedUserInterface>();
        old_ui_ = platform::install_user_interface(ui_);
        record_.description = reader();
        record_.program_path = folder_.file("Valdrun");
        record_.window_title = "Kartenleser K5 - Installation";
        record_.version_line = kVersionLine;
        record_.publish(reader_found(0));
        set_language(Language::English);
    }
    void TearDown() override {
        platform::install_user_interface(old_ui_);
        set_language(Language::English);
    }

    TempDir folder_;
    RunRecord record_;
    std::shared_ptr<platform::ScriptedUserInterface> ui_;
    std::shared_ptr<platform::UserInterface> old_ui_;
};

TEST_F(ReportFile, BesideTheProgramAndAppended) {
    EXPECT_EQ(run_report_path("/opt/x.y/Valdrun"), "/opt/x.y/Valdrun.log");
    EXPECT_EQ(run_report_path("/opt/Valdrun.exe"), "/opt/Valdrun.log");

    ASSERT_TRUE(write_run_report(record_, 3));
    const std::string first = read_text(folder_.file("Valdrun.log"));
    EXPECT_EQ(first.rfind("\n" + kRule + "\n", 0), 0u) << "a new file begins with the block";
    EXPECT_NE(first.find("\nReturnCode: 0\n"), std::string::npos);

    ASSERT_TRUE(write_run_report(record_, 9));
    const std::string both = read_text(folder_.file("Valdrun.log"));
    ASSERT_EQ(both.rfind(first + "\n\n\n" + kRule, 0), 0u) << "appended after \"\\n\\n\"";
    EXPECT_NE(both.find("\nReturnCode: 9\n"), std::string::npos);
    EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(ReportFile, UnopenableShowsTheBoxInTheLanguageAndWritesNothing) {
    std::filesystem::create_directory(folder_.file("Valdrun.log")); // a folder in the way
    for (const Language language : {Language::English, Language::German}) {
        set_language(language);
        EXPECT_FALSE(write_run_report(record_, 3));
    }
    ASSERT_EQ(ui_->boxes.size(), 2u);
    EXPECT_EQ(ui_->boxes[0].text, "Error during open file: " + folder_.file("Valdrun.log"));
    EXPECT_EQ(ui_->boxes[1].text, "Fehler beim \xC3\x96"
                                  "ffnen der Datei: " +
                                      folder_.file("Valdrun.log"));
    EXPECT_EQ(ui_->boxes[0].caption, "Kartenleser K5 - Installation");
    EXPECT_EQ(ui_->boxes[0].icon, platform::MessageIcon::None);
    EXPECT_TRUE(std::filesystem::is_empty(folder_.file("Valdrun.log")));
}

TEST_F(ReportFile, ALinkInItsPlaceIsRefusedAndTheFileItNamesUntouched) {
    morlin_test::write_text(folder_.file("victim.conf"), "one line\n");
    std::filesystem::create_symlink(folder_.file("victim.conf"), folder_.file("Valdrun.log"));
    EXPECT_FALSE(write_run_report(record_, 3));
    EXPECT_EQ(read_text(folder_.file("victim.conf")), "one line\n");
    EXPECT_EQ(ui_->boxes.size(), 1u);
}

TEST_F(ReportFile, AWriteCutShortIsNoSuccessAndLeavesOnlyWholeBlocks) {
    ASSERT_TRUE(write_run_report(record_, 3));
    const std::string before = read_text(folder_.file("Valdrun.log"));

    // The file may grow by a few bytes only: the next block stops half-way, as on a full disk.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = before.size() + 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool written = write_run_report(record_, 7);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(written);
    EXPECT_EQ(read_text(folder_.file("Valdrun.log")), before);
    EXPECT_TRUE(ui_->boxes.empty());
}

} // namespace
