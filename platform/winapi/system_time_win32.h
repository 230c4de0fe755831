#pragma once
// The platform's local time as the SYSTEMTIME that the Windows date and time calls take.
#include "platform/winapi/locale.h"

#include <windows.h>

namespace platform::win32 {

inline SYSTEMTIME system_time_of(const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = time.year;
    st.wMonth = time.month;
    st.wDayOfWeek = time.day_of_week;
    st.wDay = time.day;
    st.wHour = time.hour;
    st.wMinute = time.minute;
    st.wSecond = time.second;
    st.wMilliseconds = time.milliseconds;
    return st;
}

} // namespace platform::win32
