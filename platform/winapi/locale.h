#pragma once
// Local time, the user's locale and the user-interface language.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct LocalTime { // SYSTEMTIME
    std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

LocalTime local_time();
// The local time (time zone as TZ says) of an instant given in seconds since 1970-01-01 UTC.
LocalTime local_time_at(std::int64_t seconds, std::uint16_t milliseconds);

// The date in the user's locale with a Windows date picture such as "ddMMMyyyy"
// (d, dd, ddd, dddd, M, MM, MMM, MMMM, y, yy, yyyy; quoted text kept).
std::string format_date(const LocalTime& time, const std::string& picture);
// The time in the user's locale with a Windows time picture such as "HH:mm:ss".
std::string format_time(const LocalTime& time, const std::string& picture);

// The user's UI language as a Windows language ID, from LC_ALL, LC_MESSAGES or LANG:
// de_DE 0x0407, de_CH 0x0807, de_AT 0x0C07, de_LU 0x1007, de_LI 0x1407, English 0x0409
// (en_GB 0x0809, ...), C/POSIX 0x0409; unknown 0.
std::uint16_t user_ui_language();

// The Windows language ID of one POSIX locale name such as "de_CH.UTF-8" or "en_US@euro"
// (what user_ui_language applies to the first variable that is set). Unknown names give 0.
std::uint16_t language_id_of_locale(std::string_view locale_name);

} // namespace platform
