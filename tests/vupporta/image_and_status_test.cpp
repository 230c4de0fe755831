// What the plug-in reads from outside bytes: firmware file fields, status response fields,
// versions; and the download's fixed rules (block table, warning text).
#include "download_protocol.h"
#include "firmware_image.h"
#include "status_response.h"
#include "test_support.h"
#include "version_text.h"

#include <gtest/gtest.h>

namespace vupporta {
namespace {

std::vector<std::uint8_t> bytes_with(std::size_t size, std::size_t offset, std::string_view text,
                                     char type = '0') {
    std::vector<std::uint8_t> bytes(size, 0);
    for (std::size_t at = 0; at < text.size() && offset + at < size; ++at) {
        bytes[offset + at] = static_cast<std::uint8_t>(text[at]);
    }
    if (size > 136) {
        bytes[136] = static_cast<std::uint8_t>(type);
    }
    return bytes;
}

TEST(FirmwareImage, RecognisesTheProduct) {
    for (std::string_view tag : {"QVX", "qvx", "HalVANE"}) {
        EXPECT_EQ(FirmwareImage(bytes_with(200, 116, tag)).product(), "Halvane") << tag;
    }
    EXPECT_EQ(FirmwareImage(bytes_with(200, 116, "pELLAX")).product(), "Pellax");
    EXPECT_EQ(FirmwareImage(bytes_with(200, 116, "QV")).product(), "");
    // Application images: the configuration marker anywhere, letters in any case, the two
    // bytes after it exactly; the firmware tag does not count.
    const std::string pellax("PrOdCfG\0\1", 9);
    EXPECT_EQ(FirmwareImage(bytes_with(300, 250, pellax, '1')).product(), "Pellax");
    EXPECT_EQ(FirmwareImage(bytes_with(300, 250, std::string("PRODCFG\0\0", 9), '1')).product(),
              "Halvane");
    EXPECT_EQ(FirmwareImage(bytes_with(300, 250, std::string("PRODCFG\0\2", 9), '1')).product(),
              "");
    EXPECT_EQ(FirmwareImage(bytes_with(300, 292, std::string("PRODCFG\0", 8), '1')).product(), "");
    EXPECT_EQ(FirmwareImage(bytes_with(300, 116, "QVX", '1')).product(), "");
}

TEST(FirmwareImage, ShortFilesLackTheFieldsTheyDoNotHold) {
    for (std::size_t size : {1u, 118u, 119u, 136u}) {
        const FirmwareImage image(bytes_with(size, 116, "QVX"));
        EXPECT_FALSE(image.has_known_type()) << size;
        EXPECT_EQ(image.product(), size >= 119 ? "Halvane" : "") << size;
        EXPECT_EQ(image.firmware_version(), "0.0.0");
    }
    auto bytes = bytes_with(200, 0, "");
    bytes[132] = 4;
    bytes[133] = 7;
    bytes[134] = 12;
    EXPECT_EQ(FirmwareImage(bytes).firmware_version(), "4.7.12");
    EXPECT_EQ(FirmwareImage(bytes).application_version(), "4.07");
}

TEST(StatusResponse, ReadsItsFieldsByOffset) {
    std::vector<std::uint8_t> info(63, 0);
    info[12] = 'h';
    info[13] = 3;
    info[14] = 7;
    info[17] = 'h';
    info[18] = 10;
    info[20] = 255;
    info[23] = 0x01;
    info[24] = 0x02;
    info[25] = 4;
    info[46] = 1;
    const std::string id("\0\0ABC\0DEFGHIJKL", 14);
    std::copy(id.begin(), id.end(), info.begin() + 47);
    info[61] = 0x90;
    const StatusResponse status(info);
    EXPECT_TRUE(status.status_ok());
    EXPECT_EQ(status.application_version(), "3.07");
    EXPECT_EQ(status.firmware_version(), "10.0.255");
    EXPECT_EQ(status.stored_records(), 0x0102u);
    EXPECT_EQ(status.download_state(), 4);
    EXPECT_TRUE(status.ready_for_download());
    EXPECT_EQ(status.identification(), "ABC");

    const StatusResponse text(bytes_with(40, 12, "V0123V4567X"));
    EXPECT_EQ(text.application_version(), "V0123");
    EXPECT_EQ(text.firmware_version(), "V4567");

    const StatusResponse short_answer(std::vector<std::uint8_t>{0x90});
    EXPECT_FALSE(short_answer.status_ok());
    EXPECT_FALSE(short_answer.ready_for_download());
    EXPECT_EQ(short_answer.identification(), "");
    EXPECT_EQ(short_answer.byte(100000), 0);
}

TEST(VersionText, ParsesAndComparesLikeTheNumberConversions) {
    EXPECT_EQ(parse_version(" 1. 2.3xyz", 3), (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(parse_version("99999999999.1", 2), (std::array<int, 3>{2147483647, 1, 0}));
    EXPECT_FALSE(parse_version("V1.23", 2));
    EXPECT_FALSE(parse_version("1.2", 3));
    EXPECT_FALSE(parse_version("1..2", 2));
    EXPECT_EQ(compare_versions("1.2.3", "1.2.3", 3), VersionVerdict::NotOlder);
    EXPECT_EQ(compare_versions("1.2.3", "1.3.0", 3), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("1.2.3", "1.2.4", 3), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("2.0.0", "1.9.9", 3), VersionVerdict::NotOlder);
    EXPECT_EQ(compare_versions("2.00", "2.10", 2), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("2.00", "V0123", 2), VersionVerdict::Unknown);
}

TEST(DownloadRules, BlockTableAndWarningText) {
    auto sizes = [](std::size_t total, bool firmware) {
        std::vector<std::size_t> blocks;
        for (std::size_t index = 0, sent = 0; sent < total; ++index) {
            blocks.push_back(block_spec(index, firmware, total - sent).size);
            sent += blocks.back();
        }
        return blocks;
    };
    EXPECT_EQ(sizes(1000, true), (std::vector<std::size_t>{256, 256, 261, 227}));
    EXPECT_EQ(sizes(70000, false), (std::vector<std::size_t>{256, 256, 65536, 3952}));
    EXPECT_EQ(block_spec(2, true, 9999).time_limit_ms, 30000u);
    EXPECT_EQ(block_spec(1, true, 9999).time_limit_ms, 1000u);

    struct OddTexts : Texts {
        std::string text(unsigned id, std::size_t) const override {
            return id == kRecordsWarningSeveral ? "%s %d%% %d" : "T" + std::to_string(id);
        }
    } texts;
    // The resource text is never used as a format: a stray conversion stays text.
    EXPECT_EQ(records_warning_text(12, texts), "%s 12% %dT751T742");
    EXPECT_EQ(records_warning_text(1, texts), "T744\nT751T742");
}

} // namespace
} // namespace vupporta
