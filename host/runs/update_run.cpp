#include "host/runs/update_run.h"

#include "host/courses.h"
#include "host/dialogs/cfg_mode_dlg.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/device_lists.h"
#include "host/plugins/download_targets.h"
#include "host/plugins/matching.h"
#include "host/plugins/plugin_binding.h"
#include "host/runs/silent_download.h"
#include "ui/dialog_view.h"

namespace morlin {

namespace {

struct RunState {
    bool no_file = true;   // no configured file is served by a plug-in
    bool no_device = true; // no configured file matched a device
    bool failed = false;
    HostError outcome;
};

// Matches every entry of the download-file table; several candidates grow the table.
void match_entries(MorlinApp& app, RunState& run) {
    for (int index = 0; index < app.download_count; ++index) {
        DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        entry.plugin_index = kNoPlugin;
        entry.device_index = kNoDevice;
        app.matching_entry = index;

        if (choose_plugin_for_file(app, entry.file_name).failed() ||
            app.current_plugin == nullptr) {
            run.outcome = HostError::none();
            continue;
        }
        run.no_file = false;
        const MatchResult match = match_file_to_devices(app);
        run.outcome = match.outcome;
        if (match.stops_run) {
            run.failed = true;
            return;
        }
        if (match.candidates > 1) {
            index += assign_to_candidates(app, index, match.candidates);
            run.no_device = false;
            run.outcome = HostError::none();
        } else if (run.outcome.failed()) {
            if (run.outcome.code == kStrSeveralDfuDevices && run.outcome.from_plugin == 0) {
                run.failed = true;
            }
            run.outcome = HostError::none();
        } else {
            run.no_device = false;
            entry.plugin_index = app.current_plugin_index;
            entry.device_index = app.last_chosen_device;
        }
    }
}

void report(MorlinApp& app, const RunState& run) {
    if (!app.silent()) {
        if (run.outcome.failed()) {
            app.show_host_error(run.outcome);
        }
        return;
    }
    if (!app.options.report_status) {
        return;
    }
    if (run.failed) {
        app.show_host_error(HostError::host(kStrSilentRunFailed));
        return;
    }
    platform::MessageBoxRequest box;
    box.text = app.texts.text_or_number(kStrSilentRunSucceeded);
    box.caption = app.texts.text_or_number(kStrCaption);
    box.icon = platform::MessageIcon::Information;
    app.ui()->message_box(box);
}

// Not silent and nothing to download: the interactive run takes over when the lists could be
// ended.
int fall_back_to_interactive_run(MorlinApp& app) {
    app.configured_run = false;
    app.run_record.course = "interactive";
    if (end_run(app) == 0) {
        run_interactive(app);
    }
    return kExitConfiguredRunFailed;
}

} // namespace

int run_configured_update(MorlinApp& app) {
    // The progress dialog's outcome: it stays 255 unless the dialog runs the downloads.
    int exit_code = kExitConfiguredRunFailed;
    RunState run;

    if (!app.silent()) {
        app.show_wait_window();
    }
    run.outcome = create_device_lists(app);
    if (run.outcome.failed()) {
        host_log("Morlin :The configured run ends before its downloads: %s",
                 app.host_error_text(run.outcome).c_str());
        app.close_wait_window();
        run.failed = true;
        report(app, run);
        return exit_code;
    }

    match_entries(app, run);
    app.close_wait_window();
    if (!run.outcome.failed()) {
        remove_repeated_targets(app);
        if (app.silent()) {
            run.outcome = run_silent_downloads(app);
            run.failed = run.failed || run.outcome.failed();
            app.run_record.succeeded = !run.failed;
        } else if (run.no_file || run.no_device) {
            // Outcome 108 (no file served) or 107 (no device matched): not shown, the
            // interactive run lets the user choose instead.
            return fall_back_to_interactive_run(app);
        } else {
            // The dialog downloads the entries and reports each result itself.
            CfgModeDlg progress(app);
            dialogs::dialog_runner().run_modal(progress);
            exit_code = progress.outcome();
            app.run_record.succeeded = exit_code == kOutcomeSucceeded;
        }
    }
    report(app, run);
    return exit_code;
}

} // namespace morlin
