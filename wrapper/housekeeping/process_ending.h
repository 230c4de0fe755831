#pragma once
// Ending processes by a part of their program name (exact letter case), as the housekeeping
// does with zkaservice.exe and, on OS type 2, with the smart-card service's program. Only
// processes of Valdrun's own user are touched (wrapper/trust.h); zombies and processes that
// end while they are looked at are passed over.
#include "wrapper/housekeeping/housekeeping.h"

#include <functional>
#include <string_view>

namespace valdrun {

// Ends every process whose name contains `name`. The program file of each (its
// /proc/<id>/exe), when its file name equals `name` ignoring case and it is owned by root or
// the process's user and writable by no one else, is held in `state` for the restart, with
// the process's credentials; the last one wins. `state.process_ended` takes the outcome of
// each end; `ended` counts the processes ended. False when the process table cannot be read
// (after the tool-help message box), when a running process's file cannot be read, or when a
// process does not end. No matching process is no failure.
// `before_end` runs after the state names a process's program and before it is ended.
bool end_processes_named(std::string_view name, HousekeepingState& state, int& ended,
                         const std::function<void()>& before_end = {});

// Ends every process whose name contains `name` without looking at its file; `ended` takes
// the outcome of each end. False as above.
bool end_service_processes(std::string_view name, bool& ended);

} // namespace valdrun
