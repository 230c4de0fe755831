#pragma once
// The run report: a text file beside the program ("Valdrun" writes "Valdrun.log"), one block
// appended per finished run, for the installer and for support. Written in English except its
// date, its time and the German " Uhr".
#include "wrapper/run_record.h"

#include <chrono>
#include <string>

namespace valdrun {

// The report file of a program path: up to and including the last point of the file name,
// then "log".
std::string run_report_path(const std::string& program_path);

// Appends one block for `return_code` (0, 2, 3, 9, 11, a tool outcome, or a system error code
// of a failed rename). The facts come from the run record (description, version line, first-
// notice flag) and its latest detection outcome. A report that cannot be opened shows the
// open-error box through the user-interface port and writes nothing; the run goes on.
// Returns whether the block was written.
// With ReportNote::ToolStillRunning (Valdrun ended by a second termination signal) the block
// says so, and a report that cannot be opened is only logged: no one is there to see a box.
enum class ReportNote { None, ToolStillRunning };
bool write_run_report(RunRecord& record, int return_code,
                      std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
                      ReportNote note = ReportNote::None);

} // namespace valdrun
