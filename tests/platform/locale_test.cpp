#include "platform/winapi/locale.h"
#include "test_support.h"

#include <ctime>
#include <gtest/gtest.h>
#include <vector>

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

// The clock's instant turned into local time, and time pictures of it, at fixed instants.
TEST(PlatformLocale, TimePictures) {
    struct Case {
        const char* zone;
        std::int64_t seconds; // since 1970 UTC
        platform::LocalTime expected;
        const char* full;   // "HH:mm:ss"
        const char* twelve; // "h:m:s tt"
    };
    const Case cases[] = {
        // A leap day at noon.
        {"UTC", 1709208309, {2024, 2, 4, 29, 12, 5, 9, 250}, "12:05:09", "12:5:9 PM"},
        // New Year's Eve in UTC is already the next year (a Friday) in Central Europe.
        {"CET-1", 1798759805, {2027, 1, 5, 1, 0, 30, 5, 250}, "00:30:05", "12:30:5 AM"},
        {"UTC", 1798759805, {2026, 12, 4, 31, 23, 30, 5, 250}, "23:30:05", "11:30:5 PM"},
    };
    for (const Case& c : cases) {
        EnvGuard zone("TZ", c.zone);
        ::tzset();
        const platform::LocalTime time = platform::local_time_at(c.seconds, 250);
        const auto fields = [](const platform::LocalTime& t) {
            return std::vector<int>{t.year, t.month,  t.day_of_week, t.day,
                                    t.hour, t.minute, t.second,      t.milliseconds};
        };
        EXPECT_EQ(fields(time), fields(c.expected)) << c.zone << " " << c.seconds;
        EXPECT_EQ(platform::format_time(time, "HH:mm:ss"), c.full);
        EXPECT_EQ(platform::format_time(time, "h:m:s tt"), c.twelve);
    }
    ::tzset();
}

} // namespace
