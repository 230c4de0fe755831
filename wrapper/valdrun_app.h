#pragma once
// ValdrunApp: start-up, check mode, the main window and the closing work, ending in the
// result code that becomes the process exit code.
#include "wrapper/run_record.h"

#include <string>
#include <string_view>

namespace valdrun {

// Steps 2 to 4 of the window start: OS type, program path and folder, the reader description
// and, for slot 1, the serial port list. False (result code 6) when no reader can be served.
bool prepare_run(RunRecord& record, std::string_view program_path);

// The settings of a detection pass for this run.
PassSettings pass_settings(const RunRecord& record, bool check_mode);

// The whole program for a command line (the arguments after the program name).
int run_valdrun(std::string_view command_line, std::string_view program_path);

} // namespace valdrun
