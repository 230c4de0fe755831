#pragma once
// CfgModeDlg, the progress dialog of a configured run with GUI "yes": the download-file
// table's entries that have a device, an overall bar (two steps per entry), the current
// download's bar and texts, Start, Device information and Close (Cancel while running).
//
// Start runs the downloads one after another on a worker thread; a failed download is shown
// (the plug-in's message), and the next entry asks whether to go on. With /PARALLEL the
// entries run in lanes (host/runs/parallel_downloads.h), each row with its own bar and status;
// the wait before a mobile terminal's entry and the question after a failure are then a lane's
// own, between entries of that lane (cfg_mode_lanes.cpp). Close or Escape while
// running asks the cancel question and sets the abort flag; the dialog stays until the worker
// has ended. At destruction the outcome goes into the program's exit-code word:
// 0 every entry downloaded, 1 cancelled or closed before Start, 2 a download failed,
// 255 none of these.
#include "host/dialogs/morlin_dialog.h"
#include "host/runs/interactive_run.h"
#include "host/runs/run_record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morlin {

class LaneWorkers;

enum CfgModeControl : int {
    kIdModeClose = 2,
    kIdModeInstruction = 1080,
    kIdModeEntries = 1081,
    kIdModeOverallLabel = 1082,
    kIdModeOverallText = 1083,
    kIdModeOverallBar = 1084,
    kIdModeDownloadLabel = 1085,
    kIdModeDownloadText = 1086,
    kIdModeDownloadBar = 1087,
    kIdModeStart = 1088,
    kIdModeDeviceInfo = 1089,
};
inline constexpr int kTemplateCfgMode = 136;
inline constexpr std::int32_t kOutcomeNone = 255;
// The wait before a mobile terminal's download that is not the table's first, in
// milliseconds (scaled by the protocol clock).
inline constexpr std::uint32_t kMobileTerminalWaitMs = 10000;

class CfgModeDlg final : public MorlinDialog {
  public:
    explicit CfgModeDlg(MorlinApp& app);
    ~CfgModeDlg() override;

    int outcome() const { return run_.outcome.load(); }
    // Steps of the overall bar per half entry: its range (100) over twice the listed entries.
    int overall_step() const { return overall_step_; }

    void clicked(int id) override;
    void selection_changed(int id, int row) override;
    void close() override;
    // While a run goes on its worker ends the window; otherwise the window closes.
    void stop_requested() override;

  protected:
    void on_initialise() override;

  private:
    // The entry has a device in its plug-in's list (device index 255: none).
    bool has_target(int entry) const;
    std::string device_text(int entry) const;
    void start_run();
    void work(); // the worker thread's body
    // The end of a run (dialog thread): the bars, the outcome and the buttons; after a stop
    // request the window ends.
    void finish_run(bool failed, bool all_downloaded, bool stop_requested);
    // One entry on the worker thread; returns the download call's result.
    int download_entry(int index);
    // The download call of one entry (the worker's or a lane's thread): the backup path, the
    // log lines, with `wait` the wait before a mobile terminal's entry, the plug-in's call.
    DownloadRecord call_entry(int index, bool wait, int* abort_flag,
                              VUPProgressCallback progress_callback, bool bind_stop_requests);
    bool continue_after_failure();
    void wait_before_mobile_terminal(int* abort_flag);
    // The run in lanes (/PARALLEL): the worker's body and one entry on its lane's thread.
    void work_in_lanes();
    void lane_entry(LaneWorkers& workers, std::size_t lane, int index, bool first,
                    std::vector<int>& lane_results,
                    std::vector<std::optional<DownloadRecord>>& records);
    // An entry's row (dialog thread): the plug-in's progress, and its bar and status.
    void entry_progress(int index, int steps, const std::string& text);
    void show_entry(int index, int position, const std::string& status);
    void progress(int steps, const std::string& text);
    void show_device_information();
    // Runs on the dialog thread and waits (worker thread).
    void set_overall(const std::string& text, int advance);
    void reset_bars();

    int overall_step_ = 1;
    RunWords run_;
    const bool in_lanes_;
    std::vector<int> rows_; // an entry's row in the list, by table index (-1: not listed)
};

} // namespace morlin
