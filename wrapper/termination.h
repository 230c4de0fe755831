#pragma once
// Termination signals (SIGTERM, SIGHUP, SIGINT) while a run has something stopped
// (docs/valdrun.md, "Running as root"). Before the update and after everything runs again a
// signal ends Valdrun as it would any program. From the start of the update run until the
// closing work has started everything again:
// - the first signal is logged and noted: the update tool is let finish; Valdrun then shows no
//   more messages, starts again what it stopped, writes the report block and ends;
// - a second signal (or a first one once the tool has ended, when only messages are left)
//   starts again what was stopped at once and ends with 7 (9 when something did not start
//   again); while the tool still ran, a report block says so.
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/run_record.h"

namespace valdrun {

// Starts watching for the signals of this run; the record and housekeeping must live until
// the process ends.
void guard_termination(RunRecord& record, Housekeeping& housekeeping);

// The update run begins (before anything is stopped), and ends with everything running.
void update_begins();
void update_tool_ended();
void everything_runs_again();

// A first signal came during the update: no more messages or questions.
bool ending_requested();

} // namespace valdrun
