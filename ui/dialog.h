#pragma once
// A dialog without a toolkit: its controls by ID, its title, its system menu, and the commands
// that a view forwards to it. A program's dialog classes derive from it and handle the
// commands; every change they make goes to the view on the dialog's thread.
//
// Threads: the dialog lives on its dialog thread (the thread that runs it modally). A dialog
// may run one worker thread at a time (start_worker); the worker never touches a control
// itself: it hands a task to on_dialog_thread(), which runs it on the dialog thread and waits.
#include "platform/user_interface/ui.h"
#include "ui/control.h"
#include "ui/dialog_view.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dialogs {

// End codes of a dialog (as IDOK and IDCANCEL).
inline constexpr int kEndOk = 1;
inline constexpr int kEndCancel = 2;

// A window timer: its period and how often it has been set (setting it again restarts it).
struct TimerSetting {
    std::uint32_t period_ms = 0;
    std::uint64_t generation = 0;
};

class Dialog {
  public:
    Dialog(int template_id, int width, int height);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // --- what a view reads -------------------------------------------------------------
    int template_id() const { return template_id_; }
    int width() const { return width_; }
    int height() const { return height_; }
    const std::string& title() const { return title_; }
    const std::vector<Control>& controls() const { return controls_; }
    const Control* find(int id) const;
    const std::vector<MenuItem>& system_menu() const { return system_menu_; }
    bool ended() const { return ended_; }
    int result() const { return result_; }
    bool worker_running() const { return worker_running_.load(); }
    // The timers that are set, by ID.
    const std::map<int, TimerSetting>& timers() const { return timers_; }
    // Message boxes shown from timer handlers so far: a view that lets the timers run stops
    // when one was shown (the window then waits for the user).
    int boxes_from_timers() const { return boxes_from_timers_; }

    // --- commands a view forwards (dialog thread) -----------------------------------------
    // Called once when the view has made its window, before it is shown.
    void initialise(DialogView& view);
    virtual void clicked(int /*id*/) {}
    virtual void selection_changed(int /*id*/, int /*row*/) {}
    virtual void row_check_changed(int /*id*/, int /*row*/, bool /*checked*/) {}
    virtual void text_typed(int /*id*/, std::string_view /*text*/) {}
    virtual void menu_command(int /*command*/) {}
    // The window's close box or the system menu's Close.
    virtual void close() { end(kEndCancel); }
    // The Escape key; like Cancel unless a dialog says otherwise.
    virtual void escape() { close(); }
    // The Enter key when no visible default button takes it (the OK command); nothing unless
    // a dialog says otherwise.
    virtual void enter() {}
    // A stop request (Ctrl-C, SIGTERM) came: the program is to end without questions. A dialog
    // whose worker ends its work as a cancel may wait for it; by default the dialog ends.
    virtual void stop_requested() { end(kEndCancel); }
    // A dialog that ends through its own work (timers, worker) and takes no command meanwhile:
    // a view whose input has run out lets it run to its end instead of closing it.
    virtual bool ends_by_itself() const { return false; }
    // A timer's period has elapsed (the view's clock); runs on_timer() if it is still set.
    void timer_elapsed(int id);
    // What the user did in a control: the view changes the control's state and the dialog
    // hears of it (selection_changed, row_check_changed, text_typed).
    void user_select(int id, int row);
    void user_check_row(int id, int row, bool checked);
    void user_type(int id, std::string_view text);
    // Ends the dialog with `result` (its own handlers, or a view whose input has run out).
    void end(int result);
    // The view tells the dialog that it is going away (after end, after the worker ended).
    void detach_view() { view_ = nullptr; }

    // Runs `task` on the dialog thread and returns when it has run; directly when called
    // there. Without a view the task runs at once on the calling thread.
    void on_dialog_thread(const std::function<void()>& task);
    // Runs until the worker started by start_worker() has ended, doing what the worker asks
    // of the dialog thread meanwhile (dialog thread only).
    void wait_for_worker();

  protected:
    // The dialog's own set-up: controls' texts, states, the first queries.
    virtual void on_initialise() {}
    // A timer set with set_timer() has elapsed (dialog thread).
    virtual void on_timer(int /*id*/) {}

    // --- timers ---------------------------------------------------------------------------
    // Sets (or restarts) timer `id` with a period in milliseconds; the view's clock drives it.
    void set_timer(int id, std::uint32_t period_ms);
    void kill_timer(int id);

    // --- building and changing controls --------------------------------------------------
    Control& add(ControlKind kind, int id, Rect rect, std::string text = {});
    Control& control(int id); // the control must exist
    void set_title(std::string title);
    void set_system_menu(std::vector<MenuItem> items);
    void set_text(int id, std::string_view text);
    std::string text(int id) const;
    void enable(int id, bool enabled);
    void show(int id, bool visible);
    void set_checked(int id, bool checked);
    void set_position(int id, int position);
    void set_rows(int id, std::vector<std::vector<std::string>> rows);
    void set_columns(int id, std::vector<std::string> columns);
    // The texts of one row of a list (a row it does not have is left alone).
    void set_row(int id, int row, std::vector<std::string> texts);
    void select(int id, int row);
    void set_row_checked(int id, int row, bool checked);
    void focus(int id);

    // --- what goes through the view --------------------------------------------------------
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request);
    std::optional<std::string> open_file(const platform::FileDialogRequest& request);
    std::optional<std::string> save_file(const platform::FileDialogRequest& request);
    int run_child(Dialog& child);
    void open_link(const std::string& target);

    // Starts `work` on a worker thread; the thread ends when it returns. At most one worker.
    void start_worker(std::function<void()> work);

  private:
    void changed(int id);

    int template_id_;
    int width_;
    int height_;
    std::string title_;
    std::vector<Control> controls_;
    std::vector<MenuItem> system_menu_;
    DialogView* view_ = nullptr;
    bool ended_ = false;
    int result_ = 0;
    std::thread worker_;
    std::atomic<bool> worker_running_{false};
    std::map<int, TimerSetting> timers_;
    std::uint64_t timer_generation_ = 0;
    bool in_timer_ = false;
    int boxes_from_timers_ = 0;
};

} // namespace dialogs
