#pragma once
// ValdrunDlg (dialog 129), the main window: it waits for the described reader or terminal,
// turns each detection result into a notice, a wait, the Upgrade offer (terminals) or an
// update run, and ends with OK when the run is decided, or with Cancel when the user cancels
// (the result code then becomes 5 if it was 0 or 2). The application object does the closing
// work afterwards.
//
// Timer 100 looks at the detection result every 100 ms; a notice is modal, so the next look
// comes after the user has dismissed it. The detection thread stops when the window ends.
#include "platform/user_interface/ui.h"
#include "ui/dialog.h"
#include "wrapper/detection/detection_thread.h"
#include "wrapper/windows/window_services.h"

#include <string>

namespace valdrun {

enum ValdrunControl : int {
    kIdUpgrade = 1, // OK: hidden until the Upgrade offer
    kIdCancel = 2,
    kIdMainText = 1000,
    kIdLanguage = 1002,
    kIdSecondText = 1009,
};
inline constexpr int kTemplateValdrun = 129;
inline constexpr int kTimerDecision = 100;

class ValdrunDlg final : public dialogs::Dialog {
  public:
    // `record.program_path` names the program; the window reads the description beside it.
    ValdrunDlg(RunRecord& record, WindowServices& services);
    ~ValdrunDlg() override;

    void clicked(int id) override;
    void close() override; // Cancel, the close box, Escape
    void enter() override; // the OK command

  protected:
    void on_initialise() override;
    void on_timer(int id) override;

  private:
    // The window.
    void set_captions();
    void write_first_texts();
    void show_upgrade_offer();
    std::string reader_label() const;
    platform::MessageAnswer notice(const std::string& text, platform::MessageIcon icon);
    void keep_waiting();
    void finish(int end_code);
    void start_detection();
    void stop_detection();

    // The decision of one tick, and its endings.
    void decide();
    void reader_missing(const PassOutcome& outcome);
    void update_due(const PassOutcome& outcome);
    void too_old(const PassOutcome& outcome);
    void up_to_date();
    void run_update_and_finish(const PassOutcome& outcome);

    // The update run (valdrun_update_run.cpp): true only when the tool succeeded.
    bool update_run(const PassOutcome& outcome);
    bool set_firmware_files_aside(int detection_result);

    RunRecord& record_;
    WindowServices& services_;
    DetectionThread detection_;
    bool detection_started_ = false;
    PassOutcome offered_; // what the Upgrade offer shows
};

} // namespace valdrun
