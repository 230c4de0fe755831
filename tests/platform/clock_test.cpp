#include "platform/foundation/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformClock, ScalesWaitsButNeverBelowOneMillisecond) {
    platform::set_time_scale_percent(10);
    EXPECT_EQ(platform::time_scale_percent(), 10u);
    EXPECT_EQ(platform::scaled(5000).count(), 500);
    EXPECT_EQ(platform::scaled(5).count(), 1);
    EXPECT_EQ(platform::scaled(0).count(), 0);
    platform::set_time_scale_percent(250);
    EXPECT_EQ(platform::time_scale_percent(), 100u);
    EXPECT_EQ(platform::scaled(4294967295u).count(), 4294967295);
    platform::set_time_scale_percent(1);
    auto before = platform::monotonic_ms();
    platform::sleep_ms(1000);
    EXPECT_LT(platform::monotonic_ms() - before, 500u);
    platform::set_time_scale_percent(0);
}

} // namespace
