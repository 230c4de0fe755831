#pragma once
// The console's dialogs: each dialog written as lines on standard error, the user's actions
// read from a list or the terminal (ui/console_actions.h). The line contract:
//   DIALOG <template id> "<title>"                  a dialog opens
//   CTRL <id> <kind> <enabled|disabled> <visible|hidden> "<text>" [checked]
//   ROW <id> <row> "<column 1>"["|"<column 2>"...] [checked] [selected]
//                                                   the state, before each action is read
//   PROGRESS <id> <percent> / TEXT <id> "<text>"    changes while a worker runs
//   LINK "<target>"                                 a link the user followed
//   UI-WARNING <reason>                             an action that was skipped
//   END <template id> <ok|cancel|end code>          the dialog ended
#include "ui/console_actions.h"
#include "ui/dialog_clock.h"
#include "ui/dialog_view.h"
#include "ui/task_queue.h"

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace dialogs {

class ConsoleRunner final : public DialogRunner {
  public:
    // Lines to `out` (standard error when null), actions from `actions` (the environment and
    // the terminal when null), timers driven by `clock` (the real one when null).
    explicit ConsoleRunner(std::FILE* out = nullptr, std::unique_ptr<ActionSource> actions = {},
                           std::shared_ptr<DialogClock> clock = {});
    int run_modal(Dialog& dialog) override;

    void write(const std::string& line);
    TaskQueue& queue() { return queue_; }
    ActionSource& actions() { return *actions_; }
    DialogClock& clock() { return *clock_; }
    bool on_dialog_thread() const { return std::this_thread::get_id() == dialog_thread_; }

  private:
    std::FILE* out_;
    std::unique_ptr<ActionSource> actions_;
    std::shared_ptr<DialogClock> clock_;
    TaskQueue queue_;
    std::thread::id dialog_thread_;
    int depth_ = 0;
};

} // namespace dialogs
