#include "wrapper/report/report_time.h"

namespace valdrun {

std::string report_stamp_line(const ReportStamp& stamp) {
    return "\n" + stamp.date + ", " + stamp.time +
           (stamp.language == Language::German ? " Uhr\n" : "\n");
}

} // namespace valdrun
