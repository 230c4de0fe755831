// Start-up rules: switches, OS type, version line, versions and their comparison, every
// message in both languages.
#include "wrapper/command_line.h"
#include "wrapper/detection/versions.h"
#include "wrapper/messages.h"
#include "wrapper/os_type.h"
#include "wrapper/report/version_line.h"
#include "wrapper/result_codes.h"

#include <gtest/gtest.h>

namespace {

using namespace valdrun;

TEST(Switches, AreUpperCasedSubstringsAnywhere) {
    struct Case {
        const char* line;
        bool german, installer, check;
    };
    for (const Case& c : {Case{"", false, false, false}, Case{"-check -d", true, false, true},
                          Case{"-Check", false, false, true},
                          Case{"x-dy", true, false, false}, // inside another word
                          Case{"-check -fromInstaller", false, true, true},
                          Case{"-FROMINSTALLER-CHECK", false, true, true}}) {
        const Switches s = parse_switches(c.line);
        EXPECT_EQ(s.german, c.german) << c.line;
        EXPECT_EQ(s.installer, c.installer) << c.line;
        EXPECT_EQ(s.check, c.check) << c.line;
    }
}

TEST(OsType, FromThePlatformVersion) {
    using platform::OsVersion;
    struct Case {
        std::optional<OsVersion> version;
        int type;
    };
    for (const Case& c : {Case{OsVersion{4, 0, 950, 1}, 1}, Case{OsVersion{4, 10, 2222, 1}, 2},
                          Case{OsVersion{4, 90, 3000, 1}, 2}, Case{OsVersion{4, 0, 1381, 2}, 4},
                          Case{OsVersion{5, 0, 2195, 2}, 3}, Case{OsVersion{5, 1, 2600, 2}, 5},
                          Case{OsVersion{10, 0, 19045, 2}, 3}, Case{OsVersion{0, 0, 0, 3}, 5},
                          Case{std::nullopt, 5}})
        EXPECT_EQ(os_type_from(c.version), c.type);
}

TEST(VersionLine, FirstPartPlainOthersTwoDigits) {
    EXPECT_EQ(version_line("2.10.0.0"), "Valdrun Version 2.10.00.00");
    EXPECT_EQ(version_line("1, 2, 3, 456"), "Valdrun Version 1.02.03.456");
    EXPECT_EQ(version_line("3"), "Valdrun Version 3.00.00.00");
    EXPECT_EQ(version_line(""), "Valdrun Version 0.00.00.00");
}

TEST(Versions, ScanAsTheCFormatsDo) {
    EXPECT_EQ(scan_hex_version("5.10", 2)->minor, 0x10);
    EXPECT_EQ(scan_hex_version(" 0x5.1x", 2)->minor, 1);
    EXPECT_EQ(scan_hex_version("2.1.4", 3)->build, 4);
    EXPECT_EQ(scan_hex_version("1FFFF.0", 2)->major, 0xFFFF) << "kept modulo 2^16";
    EXPECT_FALSE(scan_hex_version("5", 2));
    EXPECT_FALSE(scan_hex_version("5,10", 2));
    EXPECT_EQ(scan_decimal_version("1.05", 2)->minor, 5);
    EXPECT_FALSE(scan_decimal_version("a.b", 2));
}

TEST(Versions, ComparisonTable) {
    struct Case {
        Version current, target;
        bool reader;
        int result;
    };
    const Case cases[] = {
        {{0, 0}, {5, 0x10}, true, kDetectedNothing},
        {{4, 0x14}, {5, 0x10}, true, kDetectedTooOld},
        {{3, 0x99}, {5, 0x10}, true, kDetectedTooOld},
        {{4, 0x15}, {5, 0x10}, true, kDetectedUpdateDue},
        {{4, 0x14}, {5, 0x10}, false, kDetectedUpdateDue}, // terminals are never too old
        {{5, 0x20}, {5, 0x10}, true, kDetectedUpToDate},
        {{5, 0x10}, {5, 0x10}, true, kDetectedUpToDate},
        {{2, 1, 3}, {2, 1, 4}, false, kDetectedUpdateDue},
        {{2, 1, 3}, {2, 1, kNoBuild}, false, kDetectedUpToDate},
        {{2, 2, 0}, {2, 1, 4}, false, kDetectedUpToDate},
        {{1, 0xFFFF}, {2, 0}, false, kDetectedUpdateDue}, // unsigned
    };
    for (const Case& c : cases)
        EXPECT_EQ(compare_versions(c.current, c.target, c.reader), c.result)
            << c.current.major << "." << c.current.minor;
}

bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

TEST(Messages, PairsByRole) {
    for (int role = 0; role <= static_cast<int>(Message::ToolHelpFailure); ++role) {
        const auto m = static_cast<Message>(role);
        EXPECT_TRUE(valid_utf8(message(m, Language::German))) << role;
        EXPECT_FALSE(message(m, Language::English).empty()) << role;
    }
    EXPECT_EQ(message(Message::MoreThanOneTerminal, Language::English).find("%s"),
              std::string_view::npos);
    EXPECT_NE(message(Message::MoreThanOneTerminal, Language::German).find("%s"),
              std::string_view::npos);
}

} // namespace
