#pragma once
// ProgressDlg (dialog 130): shown while an update runs. It stops the smart-card services on
// its worker (the service-stop thread), then starts the update tool in the tool folder and
// waits for it to end, however long it runs. Its result becomes the run's result code:
// 0 the tool succeeded, 12 the tool was cancelled, 7 the tool failed or could not be started,
// 9 the services could not be stopped (the tool is not started).
//
// The window has no buttons besides the language button, and ends only through its timers:
// the keyboard's OK and Cancel and the close box are ignored, so that the stop is never left
// half done and the tool never runs on without the program that restarts the services.
#include "ui/dialog.h"
#include "wrapper/windows/window_services.h"

#include <atomic>
#include <memory>
#include <string>

namespace valdrun {

enum ProgressControl : int {
    kIdProgressText = 1001,
    kIdProgressLanguage = 1002,
};
inline constexpr int kTemplateProgress = 130;
inline constexpr int kTimerToolEnd = 101;
inline constexpr int kTimerServiceStop = 102;
inline constexpr int kProgressTerminalStart = 255;

// The tool as the update run starts it.
struct ToolJob {
    std::string folder; // with a trailing separator
    std::string file;
    std::string command_line;
};

class ProgressDlg final : public dialogs::Dialog {
  public:
    ProgressDlg(WindowServices& services, ToolJob job, int active_slot, bool terminal, int os_type);
    ~ProgressDlg() override;

    int outcome() const { return result_; }
    // The path of the tool looked for when it could not be started; empty otherwise.
    const std::string& tool_not_started() const { return tool_not_started_; }

    void clicked(int id) override;
    void close() override {}
    void enter() override {}
    bool ends_by_itself() const override { return true; }

  protected:
    void on_initialise() override;
    void on_timer(int id) override;

  private:
    void show_progress_text();
    void start_tool();
    void watch_tool();

    WindowServices& services_;
    ToolJob job_;
    int active_slot_;
    bool terminal_;
    int os_type_;
    int result_;
    std::atomic<int> stop_code_{0};
    std::unique_ptr<ToolProcess> tool_;
    std::string tool_not_started_;
};

} // namespace valdrun
