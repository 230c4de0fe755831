// Local time, dates and times in the user's locale, and the UI language, from the system.
#include "platform/winapi/locale.h"
#include "platform/winapi/system_time_win32.h"

#include <windows.h>

namespace platform {
namespace {

// GetDateFormat and GetTimeFormat take the same arguments.
using Formatter = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCSTR, LPSTR, int);

std::string format_with(Formatter formatter, const LocalTime& time, const std::string& picture) {
    const SYSTEMTIME st = win32::system_time_of(time);
    char buffer[256] = {};
    const int length =
        formatter(LOCALE_USER_DEFAULT, 0, &st, picture.c_str(), buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

} // namespace

LocalTime local_time() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

LocalTime local_time_at(std::int64_t seconds, std::uint16_t milliseconds) {
    // FILETIME counts 100 ns steps since 1601-01-01 UTC.
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    const auto ticks = static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * 10000000);
    FILETIME file_time{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME st{};
    if (!::FileTimeToSystemTime(&file_time, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st)) {
        return local_time();
    }
    return LocalTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    milliseconds};
}

std::string format_date(const LocalTime& time, const std::string& picture) {
    return format_with(::GetDateFormatA, time, picture);
}

std::string format_time(const LocalTime& time, const std::string& picture) {
    return format_with(::GetTimeFormatA, time, picture);
}

std::uint16_t user_ui_language() {
    return ::GetUserDefaultUILanguage();
}

} // namespace platform
