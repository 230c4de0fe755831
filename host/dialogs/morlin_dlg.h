#pragma once
// MorlinDlg, the main window of an interactive run (templates 102 and 152): choose download or
// upload, the file, the device; start, watch, cancel, close. Toolkit-free: a view renders its
// controls (ui/).
//
// What it reads of the program: the plug-in table and device lists, the texts, the options
// (DISABLEHELP, SIGFILEONLY, BACKUP), the IV flag and the backup directory; what it sets there
// is only the current plug-in when a file or a device is chosen. Its own state (mode, the
// chosen file, the selected device, the run) stays here.
#include "host/dialogs/morlin_dialog.h"
#include "host/dialogs/system_menu.h"
#include "host/plugins/download_entry.h"
#include "host/runs/interactive_run.h"

#include <string>
#include <vector>

namespace morlin {

class MorlinApp;

// Control IDs of the main window.
enum MorlinDlgControl : int {
    kIdClose = 2,
    kIdDownloadMode = 1000,
    kIdUploadMode = 1001,
    kIdFileName = 1002,
    kIdBrowse = 1003,
    kIdProgress = 1005,
    kIdDeviceList = 1006,
    kIdStart = 1010,
    kIdDeviceInfo = 1012,
    kIdStatus = 1035,
    kIdModeGroup = 1040,
    kIdFileGroup = 1041,
    kIdDeviceGroup = 1042,
};
inline constexpr int kTemplateWithModes = 102;
inline constexpr int kTemplateDownloadOnly = 152;

class MorlinDlg final : public MorlinDialog {
  public:
    MorlinDlg(MorlinApp& app, int template_id);
    ~MorlinDlg() override;

    // 0 the last run succeeded, 1 closed before any run finished, 2 the last run failed.
    int outcome() const { return run_.outcome.load(); }

    void clicked(int id) override;
    void selection_changed(int id, int row) override;
    void close() override;
    // While a run goes on its worker ends the window; otherwise the window closes.
    void stop_requested() override;

    // What the progress callback asks for, carried out on the dialog thread: steps above 0
    // advance the bar, 0 resets it, negative steps leave it; the status text always follows.
    void progress(int steps, const std::string& text);

  protected:
    void on_initialise() override;

  private:
    void enter_download_mode();
    void enter_upload_mode();
    void browse_and_match();
    void match_download_file();
    void fill_device_list();
    void map_selection(int row);
    void start_run();
    void work(); // the worker thread's body
    void finish_run(int result);
    void show_device_information();
    void set_inputs(std::initializer_list<int> ids, bool enabled);

    bool download_mode_ = true;
    DownloadEntry entry_{}; // the current download-file entry
    std::string path_;      // backup path (download) or upload file name
    int selected_device_ = 0;
    int plugin_index_ = -1; // the current plug-in of the dialog
    bool any_run_finished_ = false;
    RunWords run_;
};

} // namespace morlin
