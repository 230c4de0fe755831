#pragma once
// The dialogs drawn with the Windows API: the runner that shows every dialog of the dialog
// layer as a system dialog, installed for the program's lifetime unless the console's view is
// wanted (MORLIN_UI=console, or actions in MORLIN_UI_ACTIONS).
#include "ui/dialog_view.h"

#include <memory>

namespace dialogs {

// A program of the GUI subsystem started from a console writes and reads there: standard
// input, output and error that have no handle (not redirected) are opened on the parent's
// console, if it has one. Handles that are there (a pipe, a file) are left alone.
void attach_parent_console();

class Win32Toolkit {
  public:
    Win32Toolkit();
    ~Win32Toolkit();
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  private:
    std::shared_ptr<DialogRunner> previous_;
};

// The toolkit, or nothing when the console's view is wanted.
std::unique_ptr<Win32Toolkit> start_win32_if_wanted();

} // namespace dialogs
