#include "profile_int.h"

#include <gtest/gtest.h>

namespace brantel {
namespace {

TEST(ProfileInt, ReadsTheKeyOfTheSectionIgnoringCase) {
    const char* text = "; card terminal\r\n[OTHER]\r\nCARDTERMINAL_MODE=7\r\n"
                       "[card_terminal_config]\r\n  CardTerminal_Mode = 3  \r\n";
    EXPECT_EQ(profile_int_from_text(text, "CARD_TERMINAL_CONFIG", "CARDTERMINAL_MODE", 0), 3);
}

TEST(ProfileInt, ValueIsTheLeadingDecimalNumber) {
    EXPECT_EQ(profile_int_from_text("[S]\nK=12abc\n", "S", "K", 5), 12);
    EXPECT_EQ(profile_int_from_text("[S]\nK=-4\n", "S", "K", 5), -4);
    EXPECT_EQ(profile_int_from_text("[S]\nK=yes\n", "S", "K", 5), 0);
    EXPECT_EQ(profile_int_from_text("[S]\nK=\n", "S", "K", 5), 0);
    EXPECT_EQ(profile_int_from_text("[S]\nK=0x10\n", "S", "K", 5), 0);
}

TEST(ProfileInt, MissingSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(profile_int_from_text("", "S", "K", 9), 9);
    EXPECT_EQ(profile_int_from_text("[S]\nOTHER=1\n[T]\nK=1\n", "S", "K", 9), 9);
    EXPECT_EQ(profile_int_from_text("K=1\n[S\nX=2", "S", "K", 9), 9);
    EXPECT_EQ(read_profile_int("/nonexistent/CTCONFIG.ini", "S", "K", 9), 9);
}

} // namespace
} // namespace brantel
