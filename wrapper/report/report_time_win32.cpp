// The report's date and time on Windows: GetDateFormat and GetTimeFormat with the pictures of
// the language, in its own locale (German 0x0407, English 0x0409) whatever the user's is.
#include "platform/foundation/win32_text.h"
#include "platform/winapi/locale.h"
#include "platform/winapi/system_time_win32.h"
#include "wrapper/report/report_time.h"

#include <windows.h>

namespace valdrun {
namespace {

constexpr int kStampLimit = 200; // characters of the date and of the time, with the end

std::string formatted(bool date, LCID locale, const SYSTEMTIME& time, const wchar_t* picture) {
    wchar_t text[kStampLimit] = {};
    const int length = date ? ::GetDateFormatW(locale, 0, &time, picture, text, kStampLimit)
                            : ::GetTimeFormatW(locale, 0, &time, picture, text, kStampLimit);
    if (length <= 0) {
        return {};
    }
    return platform::win32::utf8(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
}

} // namespace

ReportStamp report_stamp(std::chrono::system_clock::time_point now, Language language) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const SYSTEMTIME time = platform::win32::system_time_of(platform::local_time_at(
        milliseconds / 1000, static_cast<std::uint16_t>(((milliseconds % 1000) + 1000) % 1000)));
    const bool german = language == Language::German;
    const LCID locale = MAKELCID(german ? 0x0407 : 0x0409, SORT_DEFAULT);
    ReportStamp stamp;
    stamp.language = language;
    stamp.date = formatted(true, locale, time, german ? L"d MMMM yyyy" : L"MMMM dd yyyy");
    stamp.time = formatted(false, locale, time, german ? L"HH:mm" : L"hh:mm tt");
    return stamp;
}

} // namespace valdrun
