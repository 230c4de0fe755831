#pragma once
// What the Qt translation units share: the runner and the port, made by qt_toolkit.cpp.
#include "platform/user_interface/ui.h"
#include "ui/dialog_view.h"

#include <functional>
#include <memory>

class QIcon;
class QWidget;

namespace dialogs {

std::shared_ptr<DialogRunner> make_qt_dialog_runner();
std::shared_ptr<platform::UserInterface> make_qt_user_interface();
// The program's icon, drawn (a terminal receiving an arrow), in the host's list colours.
QIcon program_icon();
// Runs `task` on the toolkit's thread and waits for it; at once when called there.
void run_on_gui_thread(const std::function<void()>& task);
// On the toolkit's thread: runs events and waiting tasks until `done` is true.
void pump_gui_until(const std::function<bool()>& done);

} // namespace dialogs
