#pragma once
// MorlinApp, the update host's application object: its state, the start-up steps, the
// course it takes, and the exit steps.
//
// Everything happens in initialise(); shutdown() (also run by the destructor) carries out the
// exit steps. The process exit code is exit_code() afterwards.
#include "host/command_line.h"
#include "host/config/host_options.h"
#include "host/host_error.h"
#include "host/host_texts.h"
#include "host/plugins/download_entry.h"
#include "host/plugins/plugin_record.h"
#include "host/runs/run_record.h"
#include "platform/processes/single_instance.h"
#include "platform/user_interface/ui.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

// Exit-code values.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitClosedBeforeRun = 1;
inline constexpr int kExitRunFailed = 2;
inline constexpr int kExitConfiguredRunFailed = 255;

// "<product> - <description> <string 30> <product version>" of the program file; empty when
// the file carries no version information.
std::string program_version_line(const HostTexts& texts);

class MorlinApp {
  public:
    MorlinApp();
    ~MorlinApp();
    MorlinApp(const MorlinApp&) = delete;
    MorlinApp& operator=(const MorlinApp&) = delete;

    // Start-up and the chosen course. `arguments` are the program's arguments without the
    // program path.
    void initialise(const std::vector<std::string>& arguments);
    // Exit steps: device lists destroyed, plug-ins stopped and unloaded, last log line.
    // Runs once; the destructor calls it when the caller did not.
    void shutdown();
    int exit_code() const { return exit_code_word.load(); }

    // --- helpers shared by the courses ---------------------------------------------------

    // Shows a host error as an error box (caption: string 14). From a plug-in: the text is
    // the current plug-in's message for the code, or, without a current plug-in, that of the
    // plug-in with the given index.
    void show_host_error(const HostError& error);
    // The text such a box shows.
    std::string host_error_text(const HostError& error) const;
    // Caption of the host's message boxes: string 14, "Morlin" when the string is missing.
    std::string message_caption() const;
    // Shows the system's text for an error number, caption "Morlin", error icon.
    void show_system_error(std::uint32_t error);
    // The configuration file name handed to plug-ins: the /CFG path, else "Morlin.cfg" when
    // the configuration file was loaded, else null.
    const char* config_name_for_plugins() const;
    // The configuration file to open: the /CFG path, else "Morlin.cfg".
    std::string config_file_path() const;
    void show_wait_window();
    void close_wait_window();
    std::shared_ptr<platform::UserInterface> ui() const { return platform::user_interface(); }

    // --- state ----------------------------------------------------------------------------
    bool silent() const { return options.silent; }

    HostOptions options;                 // from the Options section of Morlin.cfg
    bool upload_available = false;       // some plug-in with devices supports upload
    std::string backup_directory;        // temporary directory + "Morlin"
    std::uint8_t total_device_count = 0; // over all plug-ins
    int last_chosen_device = 0;          // in the current plug-in's list
    int plugin_count = 0;                // 0..4
    PluginRecord* current_plugin = nullptr;
    int current_plugin_index = 0;
    std::array<PluginRecord, kMaxPlugins> plugins;
    int download_count = 0;                  // entries used in `downloads`
    int matching_entry = 0;                  // index of the entry being matched
    HostTexts texts;                         // MORLNRES.so and the resource language
    int platform_class = 2;                  // 0 Windows 9x, 1 NT family, 2 other
    bool config_loaded = false;              // Morlin.cfg was opened and verified
    bool config_check_failure_shown = false; // error 110 was shown once already this run
    bool iv_flag = false;                    // set for a run under /IV
    bool configured_run = false;             // Morlin.cfg read completely and verified
    bool download_mode = true;               // clear: upload mode
    bool device_info_display = false;        // /DI course
    CommandLine command_line;                // switches and the /CFG path
    DownloadTable downloads{};               // 30 entries, all zero at construction
    RunRecord run_record;                    // for the run history (host/runs/result_file.h)
    // Lines found before the log is open (the configuration is read first); logged once it is.
    std::vector<std::string> notes_before_log;
    // The process exit code; the last course that sets it wins.
    std::atomic<int> exit_code_word{kExitSuccess};

  private:
    [[nodiscard]] bool start_plugins();
    void dispatch_course();
    void stop_plugins();

    std::unique_ptr<platform::SingleInstance> instance_;
    bool log_opened_ = false;
    bool shut_down_ = false;
    bool wait_shown_ = false;
};

} // namespace morlin
