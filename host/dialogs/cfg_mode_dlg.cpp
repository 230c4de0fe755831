#include "host/dialogs/cfg_mode_dlg.h"

#include "host/dialogs/cfg_mode_texts.h"
#include "host/dialogs/dev_info.h"
#include "host/dialogs/device_choice.h"
#include "host/fixed_text.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/download_call.h"
#include "host/runs/entry_download.h"
#include "platform/foundation/clock.h"
#include "platform/processes/stop_request.h"

namespace morlin {

namespace {

using dialogs::ControlKind;
using namespace cfg_mode;

// The texts' numbers in the resource library.
constexpr const char* kSource = "CfgModeDlg";
constexpr int kStrStart = 10;
constexpr int kStrClose = 11;
constexpr int kStrWindowTitle = 15;
constexpr int kStrInstruction = 24;
constexpr int kStrCancel = 27;
constexpr int kStrFileColumn = 35;
constexpr int kStrDeviceColumn = 36;
constexpr int kStrDeviceInfo = 37;
constexpr int kStrContinueQuestion = 116;
constexpr std::uint32_t kWaitSliceMs = 100;

// "Download:" as a column's title.
std::string label_without_colon(std::string label) {
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) {
        label.pop_back();
    }
    return label;
}

} // namespace

CfgModeDlg::CfgModeDlg(MorlinApp& app)
    : MorlinDialog(app, kTemplateCfgMode, 300, 196), in_lanes_(app.command_line.parallel()) {
    // In lanes each row has its own bar: the list takes the place of the download's line.
    const int lower = in_lanes_ ? 29 : 0;
    add(ControlKind::Static, kIdModeInstruction, {7, 6, 286, 18});
    add(ControlKind::ListView, kIdModeEntries, {7, 27, 286, 80 + lower});
    add(ControlKind::Static, kIdModeOverallLabel, {7, 114 + lower, 54, 10});
    add(ControlKind::Static, kIdModeOverallText, {63, 114 + lower, 230, 10});
    add(ControlKind::Progress, kIdModeOverallBar, {7, 126 + lower, 286, 10});
    add(ControlKind::Static, kIdModeDownloadLabel, {7, 143, 54, 10});
    add(ControlKind::Static, kIdModeDownloadText, {63, 143, 230, 10});
    add(ControlKind::Progress, kIdModeDownloadBar, {7, 155, 286, 10});
    add(ControlKind::Button, kIdModeDeviceInfo, {7, 174, 100, 15});
    add(ControlKind::Button, kIdModeStart, {164, 174, 61, 15}).default_button = true;
    add(ControlKind::Button, kIdModeClose, {232, 174, 61, 15});
    run_.outcome = kOutcomeNone;
}

CfgModeDlg::~CfgModeDlg() {
    // A worker still running would use this dialog: wait for it (the view normally has).
    wait_for_worker();
    set_progress_sink(nullptr);
    app_.exit_code_word = run_.outcome.load();
}

bool CfgModeDlg::has_target(int entry) const {
    const DownloadEntry& item = app_.downloads[static_cast<std::size_t>(entry)];
    return item.device_index != kNoDevice && item.plugin_index >= 0 &&
           item.plugin_index < app_.plugin_count && item.device_index >= 0 &&
           item.device_index <
               app_.plugins[static_cast<std::size_t>(item.plugin_index)].device_count;
}

std::string CfgModeDlg::device_text(int entry) const {
    const DownloadEntry& item = app_.downloads[static_cast<std::size_t>(entry)];
    const PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(item.plugin_index)];
    return field_text(plugin.devices[static_cast<std::size_t>(item.device_index)].name,
                      VUP_TEXT_SIZE);
}

void CfgModeDlg::on_initialise() {
    set_morlin_system_menu();
    const HostTexts& texts = app_.texts;
    std::vector<std::string> columns{texts.text(kStrFileColumn), texts.text(kStrDeviceColumn)};
    if (in_lanes_) {
        control(kIdModeEntries).bar_column = kColumnBar;
        columns.push_back(label_without_colon(texts.text(kStrDownloadLabel)));
        columns.push_back(label_without_colon(texts.text(kStrOverallLabel)));
        for (int id : {kIdModeDownloadLabel, kIdModeDownloadText, kIdModeDownloadBar}) {
            show(id, false);
        }
    }
    set_columns(kIdModeEntries, std::move(columns));
    std::vector<std::vector<std::string>> rows;
    rows_.assign(static_cast<std::size_t>(app_.download_count), -1);
    for (int i = 0; i < app_.download_count; ++i) {
        const DownloadEntry& entry = app_.downloads[static_cast<std::size_t>(i)];
        if (has_target(i)) {
            rows_[static_cast<std::size_t>(i)] = static_cast<int>(rows.size());
            rows.push_back({record_field_text(entry.file_name), device_text(i)});
            if (in_lanes_) {
                rows.back().insert(rows.back().end(), {"0", ""});
            }
        }
    }
    const int listed = static_cast<int>(rows.size());
    set_rows(kIdModeEntries, std::move(rows));
    for (int id : {kIdModeDeviceInfo, kIdModeOverallBar, kIdModeDownloadBar}) {
        enable(id, false);
    }
    set_position(kIdModeOverallBar, 0);
    set_position(kIdModeDownloadBar, 0);
    overall_step_ = listed == 0 ? kBarRange : kBarRange / (2 * listed);
    set_texts({{kIdModeInstruction, kStrInstruction},
               {kIdModeOverallLabel, kStrOverallLabel},
               {kIdModeDownloadLabel, kStrDownloadLabel},
               {kIdModeStart, kStrStart},
               {kIdModeDeviceInfo, kStrDeviceInfo},
               {kIdModeClose, kStrClose}});
    set_title(texts.text(kStrWindowTitle));
}

void CfgModeDlg::clicked(int id) {
    switch (id) {
    case kIdModeStart:
        start_run();
        break;
    case kIdModeDeviceInfo:
        show_device_information();
        break;
    case kIdModeClose:
        close();
        break;
    default:
        break;
    }
}

void CfgModeDlg::selection_changed(int id, int /*row*/) {
    // While a download runs the plug-in is busy with the device list: no second call into it.
    if (id == kIdModeEntries && run_.running.load() == 0) {
        enable(kIdModeDeviceInfo, true);
    }
}

void CfgModeDlg::close() {
    if (run_.running.load() != 0) {
        // The run may have ended while the question was open: then the answer changes nothing.
        if (confirm_cancel() && run_.running.load() != 0) {
            run_.outcome = kOutcomeLeft;
            run_.set_abort(1);
        }
        return;
    }
    if (run_.finished.load() == 0) {
        run_.outcome = kOutcomeLeft;
    }
    end(dialogs::kEndCancel);
}

void CfgModeDlg::stop_requested() {
    if (run_.running.load() == 0) {
        close();
    }
}

void CfgModeDlg::show_device_information() {
    const dialogs::Control& list = control(kIdModeEntries);
    if (list.selection < 0 || run_.running.load() != 0) {
        return;
    }
    const auto& row = list.rows[static_cast<std::size_t>(list.selection)];
    for (int i = 0; i < app_.download_count; ++i) {
        const DownloadEntry& entry = app_.downloads[static_cast<std::size_t>(i)];
        if (has_target(i) && record_field_text(entry.file_name) == row.at(0) &&
            device_text(i) == row.at(1)) {
            DevInfoTarget target{entry.plugin_index, entry.device_index,
                                 record_field_text(entry.file_name)};
            DevInfo info(app_, DevInfoMode::File, target);
            run_child(info);
            return;
        }
    }
}

void CfgModeDlg::start_run() {
    if (run_.running.load() != 0 || run_.finished.load() != 0) {
        return;
    }
    set_text(kIdModeClose, app_.texts.text(kStrCancel));
    enable(kIdModeStart, false);
    enable(kIdModeDeviceInfo, false);
    enable(kIdModeOverallBar, true);
    enable(kIdModeDownloadBar, true);
    // Set before the worker starts, so that a close right after the click sees the run.
    run_.set_abort(0);
    run_.finished = 0;
    run_.running = 1;
    start_worker([this] { in_lanes_ ? work_in_lanes() : work(); });
}

void CfgModeDlg::work() {
    ProgressSink sink = [this](int steps, const std::string& text) {
        on_dialog_thread([&] { progress(steps, text); });
    };
    set_progress_sink(&sink);
    // A stop request (Ctrl-C, SIGTERM) sets the abort flag at once, also between downloads.
    platform::bind_abort_flag(&run_.abort_flag);
    int last_result = 0;
    int downloaded = 0;
    for (int index = 0; index < app_.download_count; ++index) {
        if (!has_target(index)) {
            continue; // no device: not downloaded
        }
        if (platform::stop_request_signal() != 0) {
            host_log("Morlin :Stop request (signal %d): %s is not downloaded",
                     platform::stop_request_signal(),
                     app_.downloads[static_cast<std::size_t>(index)].file_name);
            break;
        }
        if (last_result != 0 && !continue_after_failure()) {
            break;
        }
        last_result = download_entry(index);
        if (last_result == 0) {
            ++downloaded;
        }
    }
    platform::bind_abort_flag(nullptr);
    set_progress_sink(nullptr);
    const bool stop_requested = platform::stop_request_signal() != 0;
    on_dialog_thread(
        [&] { finish_run(last_result != 0, downloaded == app_.download_count, stop_requested); });
}

void CfgModeDlg::finish_run(bool failed, bool all_downloaded, bool stop_requested) {
    if (failed) {
        reset_bars();
    } else if (all_downloaded) {
        run_.outcome = kOutcomeSucceeded;
        set_position(kIdModeOverallBar, kBarRange);
        set_position(kIdModeDownloadBar, kBarRange);
    }
    set_text(kIdModeClose, app_.texts.text(kStrClose));
    run_.running = 0;
    run_.finished = 1;
    if (stop_requested) {
        end(dialogs::kEndCancel); // the cancel nobody waits to confirm ends the window
    }
}

bool CfgModeDlg::continue_after_failure() {
    platform::MessageBoxRequest box;
    box.text = app_.texts.text_or_number(kStrContinueQuestion);
    box.caption = app_.message_caption();
    box.icon = platform::MessageIcon::Warning;
    box.buttons = platform::MessageButtons::YesNo;
    // Asked through the program's port: shown on the dialog thread while this thread waits.
    return app_.ui()->message_box(box) == platform::MessageAnswer::Yes;
}

DownloadRecord CfgModeDlg::call_entry(int index, bool wait, int* abort_flag,
                                      VUPProgressCallback progress_callback,
                                      bool bind_stop_requests) {
    DownloadEntry& entry = app_.downloads[static_cast<std::size_t>(index)];
    PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(entry.plugin_index)];
    prepare_entry(app_, entry, {kSource, 489, 492});
    if (wait && plugin.is_mobile_terminal_plugin()) {
        if (in_lanes_) {
            host_log("Morlin :Waiting %u s before the next download into this terminal",
                     kMobileTerminalWaitMs / 1000);
        }
        wait_before_mobile_terminal(abort_flag);
    }
    return make_download_call(
        app_, {entry.plugin_index, entry.device_index, entry.file_name}, abort_flag,
        [&] {
            return plugin.fn.download_firmware(
                plugin.devices.data(), static_cast<std::uint8_t>(entry.device_index),
                entry.backup_path, entry.file_name, progress_callback, abort_flag);
        },
        bind_stop_requests);
}

int CfgModeDlg::download_entry(int index) {
    DownloadEntry& entry = app_.downloads[static_cast<std::size_t>(index)];
    const std::string device = device_text(index);
    set_overall(app_.texts.text(kStrUpdating) + device + "...", 1);
    DownloadRecord record =
        call_entry(index, index != 0, &run_.abort_flag, interactive_progress, true);
    const int result = record.result;
    on_dialog_thread([&] { app_.run_record.downloads.push_back(std::move(record)); });
    // After the call the stop binding of the run holds again.
    platform::bind_abort_flag(&run_.abort_flag);
    if (result != 0) {
        run_.outcome = kOutcomeFailed;
        on_dialog_thread([&] {
            reset_bars();
            set_text(kIdModeOverallText, app_.texts.text(kStrUpdateFailed) + device);
        });
        if (platform::stop_request_signal() == 0) {
            app_.show_host_error(HostError::plugin(result, entry.plugin_index));
        }
        return result;
    }
    set_overall(app_.texts.text(kStrUpdateCompleted), 1);
    return 0;
}

// A mobile terminal needs time between two downloads; a cancel ends the wait early (the
// download call then sees the abort flag).
void CfgModeDlg::wait_before_mobile_terminal(int* abort_flag) {
    for (std::uint32_t waited = 0;
         waited < kMobileTerminalWaitMs && std::atomic_ref<int>(*abort_flag).load() == 0;
         waited += kWaitSliceMs) {
        platform::sleep_ms(kWaitSliceMs);
    }
}

void CfgModeDlg::set_overall(const std::string& text, int advance) {
    on_dialog_thread([&] {
        set_text(kIdModeOverallText, text);
        set_position(kIdModeOverallBar,
                     control(kIdModeOverallBar).position + advance * overall_step_);
    });
}

void CfgModeDlg::reset_bars() {
    set_position(kIdModeOverallBar, 0);
    set_position(kIdModeDownloadBar, 0);
}

void CfgModeDlg::progress(int steps, const std::string& text) {
    show_progress(kIdModeDownloadBar, kIdModeDownloadText, steps, text);
}

} // namespace morlin
