#pragma once
// The run history: with MORLIN_RESULT_FILE set, each start of Morlin appends one JSON object
// on one line (JSON Lines) to that file: when, which course and configuration, every download
// with its result, the outcome ("ok", "failed", "cancelled") and the process exit code.
// Format: docs/host.md.
#include "host/runs/run_record.h"

#include <string>

namespace morlin {

// "2026-12-09T15:23:24Z" for now.
std::string utc_timestamp_now();

// The record's JSON object on one line, with its line feed.
std::string result_line(const RunRecord& record, RunOutcome outcome, int exit_code);

// Appends the record to the file named by MORLIN_RESULT_FILE; does nothing without it. A
// failure is reported with one line on standard error.
void append_to_result_file(const RunRecord& record, RunOutcome outcome, int exit_code);

} // namespace morlin
