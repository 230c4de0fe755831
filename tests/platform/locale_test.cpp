#include "platform/locale.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using test_support::EnvGuard;

TEST(PlatformLocale, LanguageIdsOfLocaleNames) {
    EXPECT_EQ(platform::language_id_of_locale("de_DE.UTF-8"), 0x0407);
    EXPECT_EQ(platform::language_id_of_locale("de_CH"), 0x0807);
    EXPECT_EQ(platform::language_id_of_locale("de_AT@euro"), 0x0C07);
    EXPECT_EQ(platform::language_id_of_locale("de_LU"), 0x1007);
    EXPECT_EQ(platform::language_id_of_locale("de_LI.ISO-8859-1"), 0x1407);
    EXPECT_EQ(platform::language_id_of_locale("de"), 0x0407);
    EXPECT_EQ(platform::language_id_of_locale("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(platform::language_id_of_locale("en_GB"), 0x0809);
    EXPECT_EQ(platform::language_id_of_locale("C.UTF-8"), 0x0409);
    EXPECT_EQ(platform::language_id_of_locale("POSIX"), 0x0409);
    EXPECT_EQ(platform::language_id_of_locale("xx_YY"), 0);
    EXPECT_EQ(platform::language_id_of_locale("de_XX"), 0);
    EXPECT_EQ(platform::language_id_of_locale(""), 0);
}

TEST(PlatformLocale, UiLanguageTakesTheFirstVariableSet) {
    EnvGuard all("LC_ALL", nullptr);
    EnvGuard messages("LC_MESSAGES", "de_CH.UTF-8");
    EnvGuard lang("LANG", "en_US.UTF-8");
    EXPECT_EQ(platform::user_ui_language(), 0x0807);
    {
        EnvGuard override_all("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(platform::user_ui_language(), 0x0407);
    }
    EnvGuard no_messages("LC_MESSAGES", "");
    EXPECT_EQ(platform::user_ui_language(), 0x0409);
}

TEST(PlatformLocale, DatePicturesInEnglishAndGerman) {
    EnvGuard all("LC_ALL", nullptr);
    EnvGuard time("LC_TIME", nullptr);
    platform::LocalTime date;
    date.year = 2026;
    date.month = 12;
    date.day = 8;
    date.day_of_week = 2;
    {
        EnvGuard lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(platform::format_date(date, "ddMMMyyyy"), "08Dec2026");
        EXPECT_EQ(platform::format_date(date, "d/M/yy"), "8/12/26");
        EXPECT_EQ(platform::format_date(date, "dddd, MMMM d"), "Tuesday, December 8");
        EXPECT_EQ(platform::format_date(date, "'day' d 'of''s'"), "day 8 of's");
    }
    {
        EnvGuard lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(platform::format_date(date, "ddMMMyyyy"), "08Dez2026");
        date.month = 3;
        EXPECT_EQ(platform::format_date(date, "MMMM"), "M\xC3\xA4rz");
    }
}

TEST(PlatformLocale, TimePictures) {
    platform::LocalTime time;
    time.hour = 21;
    time.minute = 5;
    time.second = 9;
    EXPECT_EQ(platform::format_time(time, "HH:mm:ss"), "21:05:09");
    EXPECT_EQ(platform::format_time(time, "h:m:s tt"), "9:5:9 PM");
    auto now = platform::local_time();
    EXPECT_GE(now.year, 2024);
    EXPECT_LE(now.month, 12);
}

} // namespace
