#include "sim/status_response.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

namespace at = status_offset;

TEST(StatusResponse, BinaryVersionsRecordsStateAndIdentification) {
    TerminalStatus status;
    status.app_major = 2;
    status.app_minor = 10;
    status.fw_major = 1;
    status.fw_minor = 3;
    status.fw_build = 7;
    status.stored_records = 0x0103;
    status.readiness = 1;
    status.status_word = 0x6A82;
    const auto field = build_status_response(status, 4);
    ASSERT_EQ(field.size(), kStatusResponseSize);
    EXPECT_GE(field.size(), 61u + 2u);
    EXPECT_EQ(field[at::kAppMarker], 'h');
    EXPECT_EQ(field[at::kAppMajor], 2);
    EXPECT_EQ(field[at::kAppMinor], 10);
    EXPECT_EQ(field[at::kFwMarker], 'h');
    EXPECT_EQ(field[at::kFwMajor], 1);
    EXPECT_EQ(field[at::kFwMinor], 3);
    EXPECT_EQ(field[at::kFwBuild], 7);
    EXPECT_EQ(field[at::kRecordsHigh], 0x01);
    EXPECT_EQ(field[at::kRecordsLow], 0x03);
    EXPECT_EQ(field[at::kDownloadState], 4);
    EXPECT_EQ(field[at::kReadiness], 1);
    EXPECT_EQ(std::string(field.begin() + 51, field.begin() + 61), "HLV-SIM001");
    EXPECT_EQ(field[47], 0);
    EXPECT_EQ(field[field.size() - 2], 0x6A);
    EXPECT_EQ(field[field.size() - 1], 0x82);
}

TEST(StatusResponse, TextVersionsPutDigitsWhereTheVersionReaderLooks) {
    TerminalStatus status;
    status.app_encoding = VersionEncoding::Text;
    status.fw_encoding = VersionEncoding::Text;
    status.app_major = 1;
    status.app_minor = 5;
    status.fw_major = 2;
    status.fw_minor = 1;
    status.fw_build = 3;
    const auto field = build_status_response(status, 1);
    EXPECT_EQ(std::string(field.begin() + 12, field.begin() + 17), "01.05");
    EXPECT_EQ(std::string(field.begin() + 17, field.begin() + 22), "2.1.3");
    // Single digits at 13, 15 and 16 (application), 17, 19 and 21 (firmware).
    EXPECT_EQ(field[13] - '0', 1);
    EXPECT_EQ((field[15] - '0') * 10 + (field[16] - '0'), 5);
    EXPECT_EQ(field[17] - '0', 2);
    EXPECT_EQ(field[19] - '0', 1);
    EXPECT_EQ(field[21] - '0', 3);
    EXPECT_NE(field[12], 'h');
    EXPECT_NE(field[17], 'h');
}

TEST(StatusResponse, GivenTextIsCutOrPaddedToFiveCharacters) {
    TerminalStatus status;
    status.app_encoding = VersionEncoding::Text;
    status.app_text = "V1.2345";
    status.fw_encoding = VersionEncoding::Text;
    status.fw_text = "9";
    const auto field = build_status_response(status, 1);
    EXPECT_EQ(std::string(field.begin() + 12, field.begin() + 17), "V1.23");
    EXPECT_EQ(std::string(field.begin() + 17, field.begin() + 22), "9    ");
}

} // namespace
} // namespace sim
