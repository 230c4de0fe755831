#pragma once
// What a toolkit implements to show a dialog (Qt widgets, the console's lines, later Win32).
// Every call comes on the dialog thread except run_on_dialog_thread.
#include "platform/user_interface/ui.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dialogs {

class Dialog;

class DialogView {
  public:
    virtual ~DialogView() = default;
    // A control's state changed (text, enabled, visible, check, rows, selection, position).
    virtual void control_changed(int id) = 0;
    virtual void title_changed() = 0;
    // A timer was set, set again or killed (Dialog::timers()).
    virtual void timers_changed() {}
    virtual void focus(int /*id*/) {}
    // The dialog has ended with this result; the view closes its window.
    virtual void dialog_ended(int result) = 0;
    // Runs another dialog modally, owned by this one; returns its result.
    virtual int run_child(Dialog& child) = 0;
    // Message boxes and file dialogs: through the program's user-interface port unless a view
    // draws them itself.
    virtual platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) {
        return platform::user_interface()->message_box(request);
    }
    virtual std::optional<std::string> open_file(const platform::FileDialogRequest& request) {
        return platform::user_interface()->open_file(request);
    }
    virtual std::optional<std::string> save_file(const platform::FileDialogRequest& request) {
        return platform::user_interface()->save_file(request);
    }
    // Opens a link (a web address) with the system's browser.
    virtual void open_link(const std::string& target) = 0;
    // Runs `task` on the dialog thread and waits for it (any thread). Tasks from several
    // threads run one at a time, in the order they came.
    virtual void run_on_dialog_thread(const std::function<void()>& task) = 0;
    // Does the dialog thread's pending tasks until `done` is true (dialog thread only).
    virtual void pump_until(const std::function<bool()>& done) = 0;
};

// Runs dialogs modally: one per program, the toolkit's or the console's.
class DialogRunner {
  public:
    virtual ~DialogRunner() = default;
    // Shows the dialog, lets the user work with it until it ends, returns its result.
    virtual int run_modal(Dialog& dialog) = 0;
    // Another start of the program asked for this one: its open window comes to the front.
    // Any thread.
    virtual void bring_to_front() {}
};

// The program's runner. Until one is installed the console runner serves.
DialogRunner& dialog_runner();
// Installs a runner (null restores the console one); returns the old.
std::shared_ptr<DialogRunner> install_dialog_runner(std::shared_ptr<DialogRunner> runner);

} // namespace dialogs
