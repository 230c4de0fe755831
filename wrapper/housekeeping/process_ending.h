#pragma once
// Ending processes by a part of their program name (exact letter case), as the housekeeping
// does with zkaservice.exe and, on OS type 2, with the smart-card service's program.
#include "wrapper/housekeeping/housekeeping.h"

#include <string_view>

namespace valdrun {

// Ends every process whose name contains `name`; for each, the path of its module whose file
// name equals `name` ignoring case becomes `state.process_path`, and `state.process_ended`
// takes the outcome of its end. `ended` counts the processes ended. False when the process
// table cannot be read (after the tool-help message box), when a running process's modules
// cannot be read, or when a process does not end. No matching process is no failure.
bool end_processes_named(std::string_view name, HousekeepingState& state, int& ended);

// Ends every process whose name contains `name` without looking at its modules; `ended` takes
// the outcome of each end. False as above.
bool end_service_processes(std::string_view name, bool& ended);

} // namespace valdrun
