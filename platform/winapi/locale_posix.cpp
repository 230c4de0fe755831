// Local time and date/time formatting with Windows pictures, in the user's locale.
#include "platform/winapi/locale.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <locale.h>
#include <optional>
#include <time.h>

namespace platform {
namespace {

// Names used when the user's locale is not installed: English, or German for German users.
constexpr std::array<const char*, 12> kEnglishMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 12> kEnglishMonthsShort = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kEnglishDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                     "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 7> kEnglishDaysShort = {"Sun", "Mon", "Tue", "Wed",
                                                          "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kGermanMonths = {
    "Januar", "Februar", "M\xC3\xA4rz", "April",   "Mai",      "Juni",
    "Juli",   "August",  "September",   "Oktober", "November", "Dezember"};
constexpr std::array<const char*, 12> kGermanMonthsShort = {
    "Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
constexpr std::array<const char*, 7> kGermanDays = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                                    "Donnerstag", "Freitag", "Samstag"};
constexpr std::array<const char*, 7> kGermanDaysShort = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};

enum class NameKind { MonthShort, Month, DayShort, Day };

// The name of the locale that governs dates: LC_ALL, LC_TIME, LANG.
std::string time_locale_name() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

// Month or day name from the C library's locale data; nothing when that locale is absent.
std::optional<std::string> library_name(const std::string& locale_name, NameKind kind, int index) {
    std::string base = locale_name.substr(0, locale_name.find_first_of(".@"));
    locale_t locale = nullptr;
    if (base != "C" && base != "POSIX") {
        // Prefer the UTF-8 variant: the program's 8-bit texts are UTF-8.
        locale = ::newlocale(LC_TIME_MASK, (base + ".UTF-8").c_str(), nullptr);
        if (locale == nullptr) {
            locale = ::newlocale(LC_TIME_MASK, locale_name.c_str(), nullptr);
        }
    }
    if (locale == nullptr) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = 100;
    tm.tm_mday = 1;
    const char* format = "%b";
    switch (kind) {
    case NameKind::MonthShort:
        tm.tm_mon = index;
        break;
    case NameKind::Month:
        tm.tm_mon = index;
        format = "%B";
        break;
    case NameKind::DayShort:
        tm.tm_wday = index;
        format = "%a";
        break;
    case NameKind::Day:
        tm.tm_wday = index;
        format = "%A";
        break;
    }
    char buffer[64];
    std::size_t length = ::strftime_l(buffer, sizeof buffer, format, &tm, locale);
    ::freelocale(locale);
    if (length == 0) {
        return std::nullopt;
    }
    return std::string(buffer, length);
}

std::string name_of(NameKind kind, int index) {
    std::string locale_name = time_locale_name();
    if (auto name = library_name(locale_name, kind, index)) {
        return *name;
    }
    bool german = locale_name.size() >= 2 && locale_name.compare(0, 2, "de") == 0 &&
                  (locale_name.size() == 2 || locale_name[2] == '_' || locale_name[2] == '.');
    switch (kind) {
    case NameKind::MonthShort:
        return (german ? kGermanMonthsShort : kEnglishMonthsShort)[static_cast<std::size_t>(index)];
    case NameKind::Month:
        return (german ? kGermanMonths : kEnglishMonths)[static_cast<std::size_t>(index)];
    case NameKind::DayShort:
        return (german ? kGermanDaysShort : kEnglishDaysShort)[static_cast<std::size_t>(index)];
    case NameKind::Day:
        return (german ? kGermanDays : kEnglishDays)[static_cast<std::size_t>(index)];
    }
    return {};
}

std::string number(unsigned value, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*u", width, value);
    return buffer;
}

// Walks a Windows picture: runs of one field letter are handed to `field` with their length;
// text in single quotes is copied ('' is a quote); every other character is copied.
template <typename Field>
std::string expand_picture(const std::string& picture, const std::string& letters, Field field) {
    std::string out;
    for (std::size_t i = 0; i < picture.size();) {
        char c = picture[i];
        if (c == '\'') {
            std::size_t end = i + 1;
            for (; end < picture.size(); ++end) {
                if (picture[end] == '\'') {
                    if (end + 1 < picture.size() && picture[end + 1] == '\'') {
                        out += '\'';
                        ++end;
                        continue;
                    }
                    break;
                }
                out += picture[end];
            }
            if (end == i + 1 && end < picture.size()) {
                out += '\''; // '' outside quoted text
            }
            i = end + 1;
            continue;
        }
        if (letters.find(c) == std::string::npos) {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) {
            ++run;
        }
        out += field(c, run);
        i += run;
    }
    return out;
}

} // namespace

LocalTime local_time() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return local_time_at(now.tv_sec, static_cast<std::uint16_t>(now.tv_nsec / 1000000));
}

LocalTime local_time_at(std::int64_t seconds, std::uint16_t milliseconds) {
    const auto instant = static_cast<std::time_t>(seconds);
    std::tm tm{};
    ::localtime_r(&instant, &tm);
    LocalTime time;
    time.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    time.day_of_week = static_cast<std::uint16_t>(tm.tm_wday);
    time.day = static_cast<std::uint16_t>(tm.tm_mday);
    time.hour = static_cast<std::uint16_t>(tm.tm_hour);
    time.minute = static_cast<std::uint16_t>(tm.tm_min);
    time.second = static_cast<std::uint16_t>(tm.tm_sec);
    time.milliseconds = milliseconds;
    return time;
}

std::string format_date(const LocalTime& time, const std::string& picture) {
    int month = (time.month >= 1 && time.month <= 12) ? time.month - 1 : 0;
    int weekday = time.day_of_week % 7;
    return expand_picture(picture, "dMy", [&](char c, std::size_t run) -> std::string {
        switch (c) {
        case 'd':
            return run == 1   ? number(time.day, 1)
                   : run == 2 ? number(time.day, 2)
                   : run == 3 ? name_of(NameKind::DayShort, weekday)
                              : name_of(NameKind::Day, weekday);
        case 'M':
            return run == 1   ? number(time.month, 1)
                   : run == 2 ? number(time.month, 2)
                   : run == 3 ? name_of(NameKind::MonthShort, month)
                              : name_of(NameKind::Month, month);
        default: // 'y'
            return run == 1   ? number(time.year % 100u, 1)
                   : run == 2 ? number(time.year % 100u, 2)
                              : number(time.year, 4);
        }
    });
}

std::string format_time(const LocalTime& time, const std::string& picture) {
    unsigned hour12 = time.hour % 12u == 0 ? 12u : time.hour % 12u;
    return expand_picture(picture, "hHmst", [&](char c, std::size_t run) -> std::string {
        int width = run >= 2 ? 2 : 1;
        switch (c) {
        case 'h':
            return number(hour12, width);
        case 'H':
            return number(time.hour, width);
        case 'm':
            return number(time.minute, width);
        case 's':
            return number(time.second, width);
        default: // 't'
            return std::string(time.hour < 12 ? "AM" : "PM").substr(0, run >= 2 ? 2 : 1);
        }
    });
}

std::uint16_t user_ui_language() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return language_id_of_locale(value);
        }
    }
    return 0x0409; // nothing set: the C locale
}

} // namespace platform
