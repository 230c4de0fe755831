#include "ui/console_runner.h"

#include "platform/processes/stop_request.h"
#include "ui/dialog.h"
#include "ui/dialog_thread_port.h"
#include "ui/timer_driver.h"

#include <map>
#include <optional>

namespace dialogs {

namespace {

std::string result_name(int result) {
    if (result == kEndOk) {
        return "ok";
    }
    if (result == kEndCancel) {
        return "cancel";
    }
    return std::to_string(result);
}

bool clickable(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::RadioButton ||
           kind == ControlKind::CheckBox || kind == ControlKind::Link;
}

class ConsoleView final : public DialogView {
  public:
    ConsoleView(ConsoleRunner& runner, Dialog& dialog)
        : runner_(runner), dialog_(dialog), timers_(dialog, runner.clock()) {}

    // The action `wait`: lets the worker and the timers run until the dialog ends, or until
    // nothing runs any more, or until a timer's work has shown a message box (the window now
    // waits for the user).
    void let_run() {
        const int boxes = dialog_.boxes_from_timers();
        while (!dialog_.ended()) {
            runner_.queue().run_pending();
            if (dialog_.ended() || dialog_.boxes_from_timers() != boxes) {
                return;
            }
            const std::optional<std::uint64_t> due = timers_.next_due();
            if (!due) {
                if (!dialog_.worker_running()) {
                    return;
                }
                dialog_.wait_for_worker();
            } else if (!timers_.elapse_due()) {
                runner_.clock().wait_until(runner_.queue(), *due);
            }
        }
    }

    // Starts reporting changes; what is there now counts as known.
    void remember_state() {
        for (const Control& item : dialog_.controls()) {
            known_text_[item.id] = item.text;
            known_position_[item.id] = item.position;
            known_rows_[item.id] = item.rows;
        }
        reporting_ = true;
    }

    void write_state() {
        for (const Control& item : dialog_.controls()) {
            std::string line = "CTRL " + std::to_string(item.id) + ' ' + kind_name(item.kind) +
                               (item.enabled ? " enabled" : " disabled") +
                               (item.visible ? " visible " : " hidden ") + quoted(item.text);
            if ((item.kind == ControlKind::RadioButton || item.kind == ControlKind::CheckBox) &&
                item.checked) {
                line += " checked";
            }
            runner_.write(line);
            if (!item.is_list()) {
                continue;
            }
            for (std::size_t row = 0; row < item.rows.size(); ++row) {
                runner_.write(row_line(item, row));
            }
        }
    }

    // Carries out one action line; a wrong one is reported and skipped.
    void perform(const std::string& line) {
        std::string error;
        const std::optional<Action> action = parse_action(line, &error);
        if (!action) {
            warn(error);
            return;
        }
        switch (action->verb) {
        case Action::Verb::Close:
            dialog_.close();
            return;
        case Action::Verb::Escape:
            dialog_.escape();
            return;
        case Action::Verb::Wait:
            let_run();
            return;
        case Action::Verb::Enter:
            dialog_.enter();
            return;
        case Action::Verb::Menu:
            for (const MenuItem& item : dialog_.system_menu()) {
                if (item.command != 0 && item.command == action->id) {
                    dialog_.menu_command(action->id);
                    return;
                }
            }
            warn("the system menu has no command " + std::to_string(action->id));
            return;
        default:
            break;
        }
        const Control* item = dialog_.find(action->id);
        if (item == nullptr || !item->visible || !item->enabled) {
            warn("control " + std::to_string(action->id) +
                 (item == nullptr ? " does not exist" : " is not available"));
            return;
        }
        const bool row_fits = action->row >= 0 && action->row < static_cast<int>(item->rows.size());
        switch (action->verb) {
        case Action::Verb::Click:
            if (!clickable(item->kind)) {
                warn("control " + std::to_string(action->id) + " cannot be clicked");
                return;
            }
            dialog_.clicked(action->id);
            return;
        case Action::Verb::Select:
            if (!item->is_list() || !row_fits) {
                warn("control " + std::to_string(action->id) + " has no row " +
                     std::to_string(action->row));
                return;
            }
            dialog_.user_select(action->id, action->row);
            return;
        case Action::Verb::Check:
            if (!item->is_list() || !item->check_boxes || !row_fits) {
                warn("control " + std::to_string(action->id) + " has no check box in row " +
                     std::to_string(action->row));
                return;
            }
            dialog_.user_check_row(action->id, action->row,
                                   !item->row_checked[static_cast<std::size_t>(action->row)]);
            return;
        case Action::Verb::Type:
            if (item->kind != ControlKind::Edit || item->read_only) {
                warn("control " + std::to_string(action->id) + " does not take typing");
                return;
            }
            dialog_.user_type(action->id, action->text);
            return;
        default:
            return;
        }
    }

    void control_changed(int id) override {
        if (!reporting_ || !dialog_.worker_running()) {
            return;
        }
        const Control* item = dialog_.find(id);
        if (item == nullptr) {
            return;
        }
        if (item->kind == ControlKind::Progress && known_position_[id] != item->position) {
            known_position_[id] = item->position;
            runner_.write("PROGRESS " + std::to_string(id) + ' ' + std::to_string(item->position));
        }
        if (known_text_[id] != item->text) {
            known_text_[id] = item->text;
            runner_.write("TEXT " + std::to_string(id) + ' ' + quoted(item->text));
        }
        // A list with bars (a run in lanes: one row per entry, with its bar and status) reports
        // each row that changed during the work.
        auto& rows = known_rows_[id];
        if (item->bar_column >= 0 && rows != item->rows) {
            for (std::size_t row = 0; row < item->rows.size(); ++row) {
                if (row >= rows.size() || rows[row] != item->rows[row]) {
                    runner_.write(row_line(*item, row));
                }
            }
            rows = item->rows;
        }
    }
    void title_changed() override {}
    void dialog_ended(int /*result*/) override {}
    int run_child(Dialog& child) override { return runner_.run_modal(child); }
    void open_link(const std::string& target) override { runner_.write("LINK " + quoted(target)); }
    void run_on_dialog_thread(const std::function<void()>& task) override {
        if (runner_.on_dialog_thread()) {
            task();
        } else {
            runner_.queue().run(task);
        }
    }
    void pump_until(const std::function<bool()>& done) override { runner_.queue().run_until(done); }

  private:
    void warn(const std::string& reason) { runner_.write("UI-WARNING " + reason); }

    static std::string row_line(const Control& item, std::size_t row) {
        std::string columns;
        for (const std::string& column : item.rows[row]) {
            columns += (columns.empty() ? "" : "|") + quoted(column);
        }
        std::string line =
            "ROW " + std::to_string(item.id) + ' ' + std::to_string(row) + ' ' + columns;
        if (row < item.row_checked.size() && item.row_checked[row]) {
            line += " checked";
        }
        if (static_cast<int>(row) == item.selection) {
            line += " selected";
        }
        return line;
    }

    ConsoleRunner& runner_;
    Dialog& dialog_;
    TimerDriver timers_;
    bool reporting_ = false;
    std::map<int, std::string> known_text_;
    std::map<int, int> known_position_;
    std::map<int, std::vector<std::vector<std::string>>> known_rows_;
};

} // namespace

ConsoleRunner::ConsoleRunner(std::FILE* out, std::unique_ptr<ActionSource> actions,
                             std::shared_ptr<DialogClock> clock)
    : out_(out != nullptr ? out : stderr),
      actions_(actions ? std::move(actions) : std::make_unique<ActionSource>()),
      clock_(clock ? std::move(clock) : real_dialog_clock()),
      dialog_thread_(std::this_thread::get_id()) {}

void ConsoleRunner::write(const std::string& line) {
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

int ConsoleRunner::run_modal(Dialog& dialog) {
    dialog_thread_ = std::this_thread::get_id();
    std::optional<ScopedDialogThreadPort> port;
    if (depth_++ == 0) {
        port.emplace([this](const std::function<void()>& task) { queue_.run(task); });
    }
    ConsoleView view(*this, dialog);
    // The dialog's set-up gives it its title; what it shows on the way (an error that ends it
    // at once) comes before the DIALOG line.
    dialog.initialise(view);
    write("DIALOG " + std::to_string(dialog.template_id()) + ' ' + quoted(dialog.title()));
    view.remember_state();
    bool input_ended = false;
    while (!dialog.ended()) {
        queue_.run_pending();
        if (dialog.ended()) {
            break;
        }
        if (platform::stop_request_signal() != 0) {
            // Ctrl-C or SIGTERM: no more actions; a running download ends as a cancel first.
            dialog.stop_requested();
            dialog.wait_for_worker();
            dialog.end(kEndCancel);
            break;
        }
        if (input_ended) {
            // Nothing more will come: the dialog gets Close once its worker has ended (a dialog
            // that ends by itself is let run to its end); one that still does not end is ended
            // with cancel, so that the program never hangs.
            if (dialog.ends_by_itself()) {
                view.let_run();
            }
            dialog.wait_for_worker();
            dialog.close();
            if (!dialog.ended()) {
                write("UI-WARNING input ended and the dialog stayed open; ended with cancel");
                dialog.end(kEndCancel);
            }
            break;
        }
        view.write_state();
        std::optional<std::string> line =
            actions_->next(queue_.wake_fd(), [this] { queue_.run_pending(); });
        if (!line) {
            input_ended = true;
            continue;
        }
        view.perform(*line);
    }
    dialog.wait_for_worker();
    dialog.detach_view();
    write("END " + std::to_string(dialog.template_id()) + ' ' + result_name(dialog.result()));
    --depth_;
    return dialog.result();
}

namespace {
std::mutex g_runner_mutex;
std::shared_ptr<DialogRunner> g_runner;
} // namespace

DialogRunner& dialog_runner() {
    std::lock_guard lock(g_runner_mutex);
    if (!g_runner) {
        g_runner = std::make_shared<ConsoleRunner>();
    }
    return *g_runner;
}

std::shared_ptr<DialogRunner> install_dialog_runner(std::shared_ptr<DialogRunner> runner) {
    std::lock_guard lock(g_runner_mutex);
    std::swap(g_runner, runner);
    return runner;
}

} // namespace dialogs
