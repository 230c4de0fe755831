// The firmware file fields, the status response fields and version comparison.
#include "terminal-plugin/listing/version_text.h"
#include "terminal-plugin/protocol/firmware_image.h"
#include "terminal-plugin/protocol/status_response.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace vupporta {
namespace {

using testing::make_image;

std::vector<std::uint8_t> bytes_with(std::size_t size, std::size_t offset, std::string_view text) {
    std::vector<std::uint8_t> bytes(size, 0);
    for (std::size_t at = 0; at < text.size() && offset + at < size; ++at) {
        bytes[offset + at] = static_cast<std::uint8_t>(text[at]);
    }
    return bytes;
}

TEST(FirmwareImage, RecognisesTheProductOfAFirmwareImageByItsTag) {
    for (std::string_view tag : {"QVX", "qvx", "HALVANE", "halVane"}) {
        auto bytes = bytes_with(200, 116, tag);
        bytes[136] = '0';
        EXPECT_EQ(FirmwareImage(bytes).product(), "Halvane") << tag;
    }
    auto pellax = bytes_with(200, 116, "pELLAX");
    pellax[136] = '0';
    EXPECT_EQ(FirmwareImage(pellax).product(), "Pellax");
    auto none = bytes_with(200, 116, "QV");
    none[136] = '0';
    EXPECT_EQ(FirmwareImage(none).product(), "");
}

TEST(FirmwareImage, RecognisesTheProductOfAnApplicationImageByItsConfigurationMarker) {
    EXPECT_EQ(FirmwareImage(make_image('1', 4000, "Pellax")).product(), "Pellax");
    EXPECT_EQ(FirmwareImage(make_image('1', 4000, "Halvane")).product(), "Halvane");
    // The letters ignore case; the two bytes after them must match exactly.
    auto bytes = bytes_with(300, 250, std::string("PrOdCfG\0\1", 9));
    bytes[136] = '1';
    EXPECT_EQ(FirmwareImage(bytes).product(), "Pellax");
    bytes = bytes_with(300, 250, std::string("PRODCFG\0\2", 9));
    bytes[136] = '1';
    EXPECT_EQ(FirmwareImage(bytes).product(), "");
    // A marker cut by the end of the file does not count.
    bytes = bytes_with(300, 292, std::string("PRODCFG\0", 8));
    bytes[136] = '1';
    EXPECT_EQ(FirmwareImage(bytes).product(), "");
    // An application image does not look at the firmware tag.
    bytes = bytes_with(300, 116, "QVX");
    bytes[136] = '1';
    EXPECT_EQ(FirmwareImage(bytes).product(), "");
}

TEST(FirmwareImage, ShortFilesHaveNoTypeAndNoFields) {
    for (std::size_t size : {1u, 116u, 118u, 119u, 136u}) {
        const FirmwareImage image(bytes_with(size, 116, "QVX"));
        EXPECT_FALSE(image.type().has_value()) << size;
        EXPECT_FALSE(image.has_known_type());
        EXPECT_EQ(image.product(), size >= 119 ? "Halvane" : "") << size;
        EXPECT_EQ(image.firmware_version(), "0.0.0");
    }
}

TEST(FirmwareImage, VersionsAndTransferMinimum) {
    const FirmwareImage firmware(make_image('0', 1000, "Halvane", 4, 7, 12));
    EXPECT_TRUE(firmware.is_firmware());
    EXPECT_EQ(firmware.firmware_version(), "4.7.12");
    EXPECT_EQ(firmware.minimum_transfer_size(), 773u);
    const FirmwareImage application(make_image('1', 1000, "Pellax", 2, 5));
    EXPECT_EQ(application.application_version(), "2.05");
    EXPECT_EQ(application.minimum_transfer_size(), 512u);
}

TEST(FirmwareImage, LoadingRefusesMissingAndEmptyFiles) {
    testing::TempFolder folder;
    EXPECT_FALSE(load_firmware_image(nullptr));
    EXPECT_FALSE(load_firmware_image(""));
    EXPECT_FALSE(load_firmware_image((folder.path() + "/missing.bin").c_str()));
    EXPECT_FALSE(load_firmware_image(folder.write("empty.bin", {}).c_str()));
    const auto image = load_firmware_image(folder.write("one.bin", {0x42}).c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), 1u);
}

TEST(StatusResponse, ReadsBinaryVersionsRecordsAndIdentification) {
    std::vector<std::uint8_t> info(63, 0);
    info[12] = 'h';
    info[13] = 3;
    info[14] = 7;
    info[17] = 'h';
    info[18] = 10;
    info[19] = 0;
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
}

TEST(StatusResponse, TextVersionsAreFiveCharacters) {
    std::vector<std::uint8_t> info = bytes_with(40, 12, "V0123V4567X");
    info[38] = 0x90;
    const StatusResponse status(info);
    EXPECT_FALSE(status.firmware_version_binary());
    EXPECT_EQ(status.application_version(), "V0123");
    EXPECT_EQ(status.firmware_version(), "V4567");
}

TEST(StatusResponse, ShortAnswersReadZerosAndFailTheStatusWord) {
    const std::vector<std::uint8_t> one = {0x90};
    const StatusResponse status(one);
    EXPECT_FALSE(status.status_ok());
    EXPECT_FALSE(status.ready_for_download());
    EXPECT_EQ(status.stored_records(), 0u);
    EXPECT_EQ(status.identification(), "");
    EXPECT_EQ(status.byte(100000), 0);
    EXPECT_FALSE(StatusResponse().status_ok());
}

TEST(VersionText, ParsesLikeTheNumberConversions) {
    EXPECT_EQ(parse_version("2.10", 2), (std::array<int, 3>{2, 10, 0}));
    EXPECT_EQ(parse_version("1.2.3", 3), (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(parse_version(" 1. 2.3xyz", 3), (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(parse_version("1.2.3", 2), (std::array<int, 3>{1, 2, 0}));
    EXPECT_FALSE(parse_version("V1.23", 2));
    EXPECT_FALSE(parse_version("1.2", 3));
    EXPECT_FALSE(parse_version("", 2));
    EXPECT_FALSE(parse_version("1..2", 2));
    EXPECT_EQ(parse_version("99999999999.1", 2), (std::array<int, 3>{2147483647, 1, 0}));
}

TEST(VersionText, ComparesPartByPart) {
    EXPECT_EQ(compare_versions("1.2.3", "1.2.3", 3), VersionVerdict::NotOlder);
    EXPECT_EQ(compare_versions("1.2.3", "1.3.0", 3), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("1.2.3", "1.2.4", 3), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("2.0.0", "1.9.9", 3), VersionVerdict::NotOlder);
    EXPECT_EQ(compare_versions("2.00", "2.10", 2), VersionVerdict::Older);
    EXPECT_EQ(compare_versions("2.00", "1.90", 2), VersionVerdict::NotOlder);
    // The terminal's text form does not read as a version.
    EXPECT_EQ(compare_versions("2.00", "V0123", 2), VersionVerdict::Unknown);
}

} // namespace
} // namespace vupporta
