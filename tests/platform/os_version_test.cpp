#include "platform/winapi/os_version.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using test_support::EnvGuard;

TEST(PlatformOsVersion, LinuxIsAnotherPlatformUnlessInjected) {
    EnvGuard unset("MORLIN_OS_VERSION", nullptr);
    auto version = platform::query_os_version();
    ASSERT_TRUE(version);
    EXPECT_EQ(version->platform_id, platform::kPlatformPosix);
}

TEST(PlatformOsVersion, NamedAnswers) {
    struct Case {
        const char* name;
        std::uint32_t platform_id, major, minor, build;
    };
    for (const Case& c : {Case{"win98", 1, 4, 10, 2222}, Case{"WinMe", 1, 4, 90, 3000},
                          Case{"nt4", 2, 4, 0, 1381}, Case{"win2000", 2, 5, 0, 2195},
                          Case{"nt5.1", 2, 5, 1, 2600}, Case{"win7", 2, 6, 1, 7601}}) {
        EnvGuard inject("MORLIN_OS_VERSION", c.name);
        auto version = platform::query_os_version();
        ASSERT_TRUE(version) << c.name;
        EXPECT_EQ(version->platform_id, c.platform_id) << c.name;
        EXPECT_EQ(version->major, c.major) << c.name;
        EXPECT_EQ(version->minor, c.minor) << c.name;
        EXPECT_EQ(version->build, c.build) << c.name;
    }
}

TEST(PlatformOsVersion, GeneralFormAndFailures) {
    {
        EnvGuard inject("MORLIN_OS_VERSION", "0:3.10.511");
        auto version = platform::query_os_version();
        ASSERT_TRUE(version);
        EXPECT_EQ(version->platform_id, 0u);
        EXPECT_EQ(version->minor, 10u);
        EXPECT_EQ(version->build, 511u);
    }
    for (const char* bad : {"fail", "FAIL", "2:5.1", "2:5.1.x", "x:1.2.3", "2:5.1.2600.1"}) {
        EnvGuard inject("MORLIN_OS_VERSION", bad);
        EXPECT_FALSE(platform::query_os_version()) << bad;
    }
}

} // namespace
