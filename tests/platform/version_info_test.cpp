#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/winapi/version_info.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

const std::string kProbe = std::string(PROBE_ELSEWHERE_DIR) + "/VersionedProbe.so";

void expect_probe_block(const platform::VersionInfo& info) {
    EXPECT_EQ(info.file_description, "Probe library for tests");
    EXPECT_EQ(info.file_version, "1.02");
    EXPECT_EQ(info.internal_name, "VersionedProbe");
    EXPECT_EQ(info.product_name, "Morlin");
    EXPECT_EQ(info.product_version, "1.24");
    EXPECT_EQ(info.legal_copyright, "Copyright (C) 2026 Probe Maker");
    EXPECT_EQ(info.language, 0x0409);
    EXPECT_EQ(info.code_page, 1252);
}

TEST(PlatformVersionInfo, ReadsTheBlockOfALibraryWithoutLoadingIt) {
    auto info = platform::read_version_info(kProbe);
    ASSERT_TRUE(info);
    expect_probe_block(*info);
}

TEST(PlatformVersionInfo, FilesWithoutBlockGiveNothing) {
    EXPECT_FALSE(platform::read_version_info(std::string(PROBE_ELSEWHERE_DIR) + "/SearchProbe.so"));
    EXPECT_FALSE(platform::read_version_info("/nonexistent/file.so"));
    EXPECT_EQ(platform::last_error(), platform::kErrorFileNotFound);
}

TEST(PlatformVersionInfo, DamagedSectionTableFallsBackToScanning) {
    auto bytes = platform::read_file(kProbe);
    ASSERT_TRUE(bytes);
    // Point the section table far outside the file.
    std::memset(bytes->data() + 0x28, 0xFF, 8);
    auto info = platform::parse_version_info(*bytes);
    ASSERT_TRUE(info);
    expect_probe_block(*info);
}

TEST(PlatformVersionInfo, UnterminatedOrForeignBlocksAreRefused) {
    std::string start = std::string("MORLIN-VERSION-INFO") + '\0' + "FileDescription=x" + '\0';
    auto bytes = [](const std::string& text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    EXPECT_FALSE(platform::parse_version_info(bytes(start)));
    EXPECT_FALSE(platform::parse_version_info(bytes(start + "garbage")));
    auto info = platform::parse_version_info(
        bytes("junk" + start + "Translation=04070000" + '\0' + "END-VERSION-INFO"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->file_description, "x");
    EXPECT_EQ(info->language, 0x0407);
    EXPECT_EQ(info->code_page, 0);
}

} // namespace
