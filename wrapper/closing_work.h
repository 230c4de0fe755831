#pragma once
// The application object's closing work after the main window has ended: the closing
// messages in their order, the questions whether to restart or switch off the PC, and the
// restart of what the update stopped. Every message is in the language chosen last and has
// the window title as caption.
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/run_record.h"

#include <string>

namespace valdrun {

// The restart (or shutdown) question: Yes and No, question icon, No as default. Yes asks the
// system to restart or power off; true when that request was accepted.
bool ask_restart(const std::string& question, const std::string& caption, bool shutdown,
                 Housekeeping& housekeeping, int os_type);

// The closing work for a window that ended with `window_end` (dialogs::kEndOk or kEndCancel);
// returns the result code that becomes the exit code.
int closing_work(RunRecord& record, int window_end, bool installer, Housekeeping& housekeeping);

} // namespace valdrun
