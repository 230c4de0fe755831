// The firmware family test.
#include "host/host_log.h"
#include "host/plugins/is_tamsel.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace morlin {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes image_with(const std::string& before, const Bytes& after) {
    Bytes image(before.begin(), before.end());
    image.insert(image.end(), after.begin(), after.end());
    return image;
}

TEST(CapabilityScan, DeviceTypeSixBytesAfterTheFirstMarker) {
    const auto scan = scan_capability_block(image_with("xxCAPAB", {0x00, 0x20, 0x99}));
    ASSERT_TRUE(scan.marker_found);
    EXPECT_EQ(scan.device_type, 0x20);

    const auto first_counts =
        scan_capability_block(image_with("CAPAB", {0x00, 0x10, 'C', 'A', 'P', 'A', 'B', 0, 0x20}));
    EXPECT_EQ(first_counts.device_type, 0x10);

    EXPECT_FALSE(scan_capability_block(image_with("capab", {0, 0x20})).marker_found);
    EXPECT_FALSE(scan_capability_block(image_with("CAPA", {})).marker_found);
    EXPECT_FALSE(scan_capability_block({}).marker_found);
}

TEST(CapabilityScan, MarkerAtTheEndLeavesNoDeviceType) {
    auto scan = scan_capability_block(image_with("CAPAB", {0x00}));
    EXPECT_TRUE(scan.marker_found);
    EXPECT_FALSE(scan.device_type.has_value());
    scan = scan_capability_block(image_with("CAPAB", {}));
    EXPECT_FALSE(scan.device_type.has_value());
}

class IsTamselTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(open_host_log(dir_.file("Morlin.log"), "v")); }
    void TearDown() override { close_host_log(); }
    std::string log() { return test::read_text(dir_.file("Morlin.log")); }
    test::TempDir dir_;
};

TEST_F(IsTamselTest, AnswersAndLogsEachCase) {
    test::write_bytes(dir_.file("tamsel.bin"), image_with("hdrCAPAB", {0x00, 0x20}));
    EXPECT_EQ(IsTamsel(dir_.file("tamsel.bin").c_str()), 1);
    EXPECT_NE(log().find("IsTamsel(80) :Is a Tamsel Binary"), std::string::npos);
    EXPECT_NE(log().find("IsTamsel(75) :DeviceType = 32"), std::string::npos);

    test::write_bytes(dir_.file("other.bin"), image_with("CAPAB", {0x00, 0x21}));
    EXPECT_EQ(IsTamsel(dir_.file("other.bin").c_str()), 0);

    test::write_bytes(dir_.file("plain.bin"), Bytes(64, 0x20));
    EXPECT_EQ(IsTamsel(dir_.file("plain.bin").c_str()), 0);
    EXPECT_NE(log().find("IsTamsel(67) :CAPAB not found\r\n"), std::string::npos);

    test::write_bytes(dir_.file("empty.bin"), {});
    EXPECT_EQ(IsTamsel(dir_.file("empty.bin").c_str()), 0);
    EXPECT_NE(log().find("is a NULL file"), std::string::npos);

    EXPECT_EQ(IsTamsel(dir_.file("missing.bin").c_str()), 0);
    EXPECT_NE(log().find("IsTamsel(111) :Error in opening file"), std::string::npos);
    EXPECT_EQ(IsTamsel(nullptr), 0);
}

} // namespace
} // namespace morlin
