#pragma once
// The text of one run report block, with "\n" as its line ends.
#include "wrapper/detection/detection.h"
#include "wrapper/reader_description.h"
#include "wrapper/report/report_time.h"

#include <string>
#include <string_view>

namespace valdrun {

// The maker's line under the version line, as the program's version block carries it.
inline constexpr std::string_view kMakerLine = "Copyright (C) Ostrum";

// What a block tells of the run besides its return code.
struct ReportFacts {
    const ReaderDescription& description;
    const PassOutcome& detected;            // the latest detection outcome
    const std::string& version_line;        // "Valdrun Version ..."
    bool first_notice_shown = false;        // the notice asking for the described reader was shown
    bool tool_still_running = false;        // Valdrun was ended while the update tool ran
    std::string_view tool_not_started = {}; // the path of a tool that could not be started
};

// The block from its first line of asterisks to its last, without the "\n\n" that separates it
// from an earlier block.
std::string run_report_block(const ReportFacts& facts, int return_code, const ReportStamp& stamp);

} // namespace valdrun
