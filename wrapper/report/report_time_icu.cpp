// The report's date and time on Linux: month names and pictures from ICU's locale data.
#include "platform/winapi/locale.h"
#include "wrapper/report/report_time.h"

#include <memory>
#include <optional>
#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace valdrun {
namespace {

constexpr int kStampLimit = 199; // characters of the date and of the time

struct Pictures {
    const char* locale;
    const char* date;
    const char* time;
};

Pictures pictures_of(Language language) {
    if (language == Language::German) {
        return {"de_DE", "d MMMM yyyy", "HH:mm"};
    }
    return {"en_US", "MMMM dd yyyy", "hh:mm a"};
}

// The wall-clock fields of the local time as an instant of a zone without offset, so that the
// formatter shows them unchanged whatever zone ICU itself would pick.
std::optional<UDate> wall_clock(const platform::LocalTime& local, const icu::TimeZone& zone) {
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar calendar(zone, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    calendar.clear();
    calendar.set(local.year, local.month - 1, local.day, local.hour, local.minute, local.second);
    const UDate instant = calendar.getTime(status);
    return U_SUCCESS(status) ? std::optional(instant) : std::nullopt;
}

std::string format(UDate instant, const char* picture, const icu::Locale& locale,
                   const icu::TimeZone& zone) {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString(picture), locale, status);
    if (U_FAILURE(status)) {
        return {};
    }
    formatter.setTimeZone(zone);
    icu::UnicodeString text;
    formatter.format(instant, text);
    if (text.length() > kStampLimit) {
        text.truncate(kStampLimit);
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

} // namespace

ReportStamp report_stamp(std::chrono::system_clock::time_point now, Language language) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const auto local = platform::local_time_at(
        milliseconds / 1000, static_cast<std::uint16_t>(((milliseconds % 1000) + 1000) % 1000));
    const std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone("Etc/UTC"));
    const Pictures pictures = pictures_of(language);
    const icu::Locale locale(pictures.locale);
    ReportStamp stamp;
    stamp.language = language;
    if (const auto instant = wall_clock(local, *zone)) {
        stamp.date = format(*instant, pictures.date, locale, *zone);
        stamp.time = format(*instant, pictures.time, locale, *zone);
    }
    return stamp;
}

} // namespace valdrun
