#pragma once
// The date and time line of the run report, in the language of the moment: German
// "d MMMM yyyy" and "HH:mm" followed by " Uhr" (de_DE month names), English "MMMM dd yyyy" and
// "hh:mm AM/PM" (en_US). The month names come from the locale data of ICU (on Windows, of the
// system's locale functions); one implementation file per platform.
#include "wrapper/messages.h"

#include <chrono>
#include <string>

namespace valdrun {

struct ReportStamp {
    std::string date;
    std::string time;
    Language language = Language::English;
};

// The local time of `now` (time zone as the system sets it) in the pictures of `language`.
ReportStamp report_stamp(std::chrono::system_clock::time_point now, Language language);

// "\n", the date, ", ", the time, then " Uhr\n" in German or "\n" in English.
std::string report_stamp_line(const ReportStamp& stamp);

} // namespace valdrun
