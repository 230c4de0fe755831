#include "host/dialogs/morlin_dlg.h"

#include "host/dialogs/dev_info.h"
#include "host/dialogs/device_choice.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/matching.h"
#include "host/plugins/plugin_binding.h"
#include "host/runs/backup_path.h"
#include "host/runs/download_call.h"
#include "platform/processes/stop_request.h"

#include <cstring>
#include <functional>

namespace morlin {

namespace {

using dialogs::ControlKind;

constexpr const char* kSource = "MorlinDlg";
constexpr int kStrModeGroup = 1;
constexpr int kStrBrowse = 4;
constexpr int kStrDownloadMode = 8;
constexpr int kStrUploadMode = 9;
constexpr int kStrStart = 10;
constexpr int kStrClose = 11;
constexpr int kStrCancel = 27;
constexpr int kStrFileGroup = 35;
constexpr int kStrDeviceInfo = 37;
constexpr int kStrDeviceGroup = 47;
constexpr int kStrSameDeviceText = 103;
constexpr int kStrNoDeviceListed = 118;
constexpr int kCodeUploadNotSupported = 734;
constexpr int kModeBandHeight = 44; // the mode buttons' band, left out by template 152

// A resource text with one "%s" filled in; "%%" is a percent sign, anything else stays.
std::string with_argument(const std::string& pattern, const std::string& argument) {
    std::string text;
    bool used = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '%' || (pattern[i + 1] == 's' && !used))) {
            used = used || pattern[i + 1] == 's';
            text += pattern[i + 1] == 's' ? argument : "%";
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

platform::FileDialogRequest firmware_file_request(bool sig_only, bool upload) {
    platform::FileDialogRequest request;
    request.initial_name = upload ? "UPLOAD.BIN" : (sig_only ? "*.sig" : "*.bin");
    if (sig_only) {
        request.filters = {{"Sig Files (*.sig)", "*.sig"}, {"All Files (*.*)", "*.*"}};
    } else {
        request.filters = {{"Bin Files (*.bin)", "*.bin"}, {"All Files (*.*)", "*.*"}};
    }
    request.default_extension = "ALL";
    return request;
}

} // namespace

MorlinDlg::MorlinDlg(MorlinApp& app, int template_id)
    : MorlinDialog(app, template_id, 280,
                   template_id == kTemplateWithModes ? 178 : 178 - kModeBandHeight) {
    const int top = template_id == kTemplateWithModes ? 0 : -kModeBandHeight;
    add(ControlKind::GroupBox, kIdModeGroup, {7, 5, 266, 38});
    add(ControlKind::RadioButton, kIdDownloadMode, {16, 16, 250, 10});
    add(ControlKind::RadioButton, kIdUploadMode, {16, 29, 250, 10});
    add(ControlKind::GroupBox, kIdFileGroup, {7, top + 49, 266, 31});
    add(ControlKind::Edit, kIdFileName, {16, top + 61, 164, 13});
    add(ControlKind::Button, kIdBrowse, {185, top + 60, 80, 15});
    add(ControlKind::GroupBox, kIdDeviceGroup, {7, top + 86, 266, 31});
    add(ControlKind::DropDown, kIdDeviceList, {16, top + 98, 164, 13});
    add(ControlKind::Button, kIdDeviceInfo, {185, top + 97, 80, 15});
    add(ControlKind::Static, kIdStatus, {9, top + 124, 262, 10});
    add(ControlKind::Progress, kIdProgress, {9, top + 136, 262, 11});
    add(ControlKind::Button, kIdStart, {131, top + 156, 68, 15}).default_button = true;
    add(ControlKind::Button, kIdClose, {205, top + 156, 68, 15});
    if (template_id != kTemplateWithModes) {
        for (int id : {kIdModeGroup, kIdDownloadMode, kIdUploadMode}) {
            control(id).visible = false;
            control(id).enabled = false;
        }
    }
}

MorlinDlg::~MorlinDlg() {
    // A worker still running would use this dialog: wait for it (the view normally has).
    wait_for_worker();
    set_progress_sink(nullptr);
}

void MorlinDlg::on_initialise() {
    set_morlin_system_menu();
    set_inputs({kIdDeviceList, kIdStart, kIdDeviceInfo}, false);
    set_checked(kIdDownloadMode, true);
    set_position(kIdProgress, 0);
    enable(kIdProgress, false);
    const HostTexts& texts = app_.texts;
    for (auto [id, string] : {std::pair{kIdModeGroup, kStrModeGroup},
                              {kIdDownloadMode, kStrDownloadMode},
                              {kIdUploadMode, kStrUploadMode},
                              {kIdFileGroup, kStrFileGroup},
                              {kIdBrowse, kStrBrowse},
                              {kIdDeviceGroup, kStrDeviceGroup},
                              {kIdDeviceInfo, kStrDeviceInfo},
                              {kIdStart, kStrStart},
                              {kIdClose, kStrClose}}) {
        set_text(id, texts.text(string));
    }
    set_title(texts.text(kStrMainWindowTitle));
}

void MorlinDlg::set_inputs(std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) {
        enable(id, enabled);
    }
}

void MorlinDlg::clicked(int id) {
    switch (id) {
    case kIdDownloadMode:
        enter_download_mode();
        break;
    case kIdUploadMode:
        enter_upload_mode();
        break;
    case kIdBrowse:
        browse_and_match();
        break;
    case kIdStart:
        start_run();
        break;
    case kIdDeviceInfo:
        show_device_information();
        break;
    case kIdClose:
        close();
        break;
    default:
        break;
    }
}

void MorlinDlg::selection_changed(int id, int row) {
    if (id == kIdDeviceList) {
        map_selection(row);
    }
}

void MorlinDlg::close() {
    if (run_.running.load() != 0) {
        // The run may have ended while the question was open: then the answer changes nothing.
        if (confirm_cancel() && run_.running.load() != 0) {
            run_.outcome = kOutcomeLeft;
            run_.set_abort(1);
        }
        return;
    }
    if (!any_run_finished_) {
        run_.outcome = kOutcomeLeft;
    }
    end(dialogs::kEndCancel);
}

void MorlinDlg::stop_requested() {
    if (run_.running.load() == 0) {
        close();
    }
}

void MorlinDlg::enter_download_mode() {
    set_checked(kIdDownloadMode, true);
    set_checked(kIdUploadMode, false);
    download_mode_ = true;
    set_inputs({kIdDeviceList, kIdDeviceInfo, kIdStart}, false);
    enable(kIdBrowse, true);
    set_rows(kIdDeviceList, {});
    set_text(kIdFileName, "");
}

void MorlinDlg::enter_upload_mode() {
    set_checked(kIdDownloadMode, false);
    set_checked(kIdUploadMode, true);
    download_mode_ = false;
    set_inputs({kIdStart, kIdDeviceInfo, kIdDeviceList}, false);
    set_text(kIdFileName, "");
    fill_device_list();
    if (!control(kIdDeviceList).rows.empty()) {
        set_inputs({kIdDeviceList, kIdDeviceInfo}, true);
        enable(kIdStart, !path_.empty());
        return;
    }
    if (app_.total_device_count != 0) {
        app_.show_host_error(HostError::host(kCodeUploadNotSupported));
        set_inputs({kIdBrowse, kIdUploadMode}, false);
        return;
    }
    app_.show_host_error(HostError::host(kStrNoDeviceListed));
    enable(kIdBrowse, false);
}

void MorlinDlg::browse_and_match() {
    const std::optional<std::string> chosen =
        download_mode_ ? open_file(firmware_file_request(app_.options.sig_file_only, false))
                       : save_file(firmware_file_request(app_.options.sig_file_only, true));
    if (!chosen || chosen->empty()) {
        return;
    }
    if (chosen->size() >= VUP_TEXT_SIZE) {
        host_log("%s(%i) :File name longer than %d bytes refused: %.200s", kSource, 530,
                 VUP_TEXT_SIZE - 1, chosen->c_str());
        return;
    }
    set_text(kIdFileName, *chosen);
    if (!download_mode_) {
        path_ = *chosen;
        host_log("%s(%i) :Upload Selected, Filename = %s", kSource, 544, path_.c_str());
        set_inputs({kIdStart, kIdDeviceInfo}, true);
        return;
    }
    std::memset(entry_.file_name, 0, sizeof entry_.file_name);
    std::memcpy(entry_.file_name, chosen->data(), chosen->size());
    host_log("%s(%i) :Download Selected, Filename = %s", kSource, 537, entry_.file_name);
    match_download_file();
}

void MorlinDlg::match_download_file() {
    HostError outcome = choose_plugin_for_file(app_, entry_.file_name);
    int candidates = 0;
    if (!outcome.failed() && app_.current_plugin != nullptr) {
        plugin_index_ = app_.current_plugin_index;
        PluginRecord& plugin = *app_.current_plugin;
        const int result = plugin.fn.filter_device_info_set(
            plugin.devices.data(), entry_.file_name, VUP_RUN_INTERACTIVE, app_.iv_flag ? 1 : 0);
        if (result != 0) {
            outcome = HostError::plugin(result, plugin_index_);
        } else {
            const CandidateCount counted =
                count_candidates(plugin.devices, false, app_.last_chosen_device);
            candidates = counted.count;
            if (candidates == 0) {
                outcome = HostError::host(kStrNoDeviceForFile);
            }
        }
    }
    if (!outcome.failed()) {
        // Several candidates must be told apart by their texts.
        std::vector<std::string> texts;
        const PluginRecord& plugin = *app_.current_plugin;
        for (int d = 0; d < VUP_DEVICE_LIST_SIZE && plugin.devices[d].name[0] != '\0'; ++d) {
            if (plugin.devices[d].candidate == 0) {
                continue;
            }
            const std::string text = field_text(plugin.devices[d].name, VUP_TEXT_SIZE);
            for (const std::string& earlier : texts) {
                if (earlier == text) {
                    const std::string message =
                        with_argument(app_.texts.text(kStrSameDeviceText), text);
                    platform::MessageBoxRequest box;
                    box.text = message;
                    box.caption = app_.message_caption();
                    box.icon = platform::MessageIcon::Error;
                    message_box(box);
                    host_log("%s(%i) :%s", kSource, 450, message.c_str());
                    return;
                }
            }
            texts.push_back(text);
        }
        fill_device_list();
        set_inputs({kIdDeviceList, kIdStart, kIdDeviceInfo}, true);
        return;
    }
    set_inputs({kIdDeviceList, kIdDeviceInfo, kIdStart}, false);
    set_rows(kIdDeviceList, {});
    if (outcome.code == kStrNoDeviceForFile && outcome.from_plugin == 0) {
        platform::MessageBoxRequest box;
        box.text = with_argument(app_.texts.text(kStrNoDeviceForFile), entry_.file_name);
        box.caption = app_.message_caption();
        box.icon = platform::MessageIcon::Error;
        message_box(box);
        return;
    }
    app_.show_host_error(outcome);
}

void MorlinDlg::fill_device_list() {
    std::vector<std::vector<std::string>> rows;
    int first_candidate = -1;
    if (download_mode_) {
        if (plugin_index_ >= 0) {
            const PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(plugin_index_)];
            for (int d = 0; d < VUP_DEVICE_LIST_SIZE && plugin.devices[d].name[0] != '\0'; ++d) {
                if (plugin.devices[d].candidate != 0) {
                    rows.push_back({field_text(plugin.devices[d].name, VUP_TEXT_SIZE)});
                    first_candidate = first_candidate < 0 ? d : first_candidate;
                }
            }
        }
    } else {
        for (std::string& text : distinct_device_texts(app_.plugins, app_.plugin_count, true)) {
            rows.push_back({std::move(text)});
        }
    }
    set_rows(kIdDeviceList, std::move(rows));
    select(kIdDeviceList, 0);
    selected_device_ = download_mode_ ? (first_candidate < 0 ? 0 : first_candidate) : 0;
}

void MorlinDlg::map_selection(int row) {
    const dialogs::Control& list = control(kIdDeviceList);
    if (row < 0 || row >= static_cast<int>(list.rows.size())) {
        return;
    }
    if (download_mode_ && plugin_index_ >= 0) {
        const PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(plugin_index_)];
        int nth = -1;
        for (int d = 0; d < VUP_DEVICE_LIST_SIZE && plugin.devices[d].name[0] != '\0'; ++d) {
            if (plugin.devices[d].candidate != 0 && ++nth == row) {
                selected_device_ = d;
                break;
            }
        }
    }
    std::vector<std::string> rows;
    for (const auto& columns : list.rows) {
        rows.push_back(columns.empty() ? std::string() : columns.front());
    }
    const DeviceRef device = device_for_row(app_.plugins, app_.plugin_count, rows, row);
    if (device.found()) {
        plugin_index_ = device.plugin_index;
        selected_device_ = device.device_index;
        app_.current_plugin = &app_.plugins[static_cast<std::size_t>(plugin_index_)];
        app_.current_plugin_index = plugin_index_;
    }
}

void MorlinDlg::show_device_information() {
    if (!download_mode_) {
        // The device the list shows selected, also before the user picked a row.
        const int row = control(kIdDeviceList).selection;
        map_selection(row < 0 ? 0 : row);
    }
    DevInfoTarget target;
    target.plugin_index = plugin_index_;
    target.device_index = selected_device_;
    if (download_mode_) {
        target.file = entry_.file_name;
    }
    DevInfo info(app_, download_mode_ ? DevInfoMode::File : DevInfoMode::Device, target);
    run_child(info);
}

void MorlinDlg::start_run() {
    if (run_.running.load() != 0) {
        return;
    }
    if (!download_mode_) {
        const int row = control(kIdDeviceList).selection;
        map_selection(row < 0 ? 0 : row);
    }
    if (plugin_index_ < 0) {
        return;
    }
    enable(kIdProgress, true);
    set_inputs({kIdDeviceList, kIdBrowse, kIdStart, kIdDownloadMode, kIdUploadMode, kIdDeviceInfo},
               false);
    set_text(kIdClose, app_.texts.text(kStrCancel));
    focus(kIdClose);
    if (download_mode_) {
        path_ = app_.options.backup
                    ? backup_file_path(app_.backup_directory, platform::local_time())
                    : std::string();
    }
    // The run words are set before the worker starts, so that a close right after the click
    // already sees a running run.
    run_.running = 1;
    run_.set_abort(0);
    run_.finished = 0;
    start_worker([this] { work(); });
}

void MorlinDlg::work() {
    ProgressSink sink = [this](int steps, const std::string& text) {
        on_dialog_thread([&] { progress(steps, text); });
    };
    set_progress_sink(&sink);
    PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(plugin_index_)];
    const auto device = static_cast<std::uint8_t>(selected_device_);
    DownloadTarget target{plugin_index_, selected_device_, path_};
    std::function<int()> call;
    if (download_mode_) {
        log_text("********** Firmware  Download  Start **********");
        host_log("%s(%i) :Preparing to download %s", kSource, 730, entry_.file_name);
        host_log("%s(%i) :Selected device is device %d", kSource, 732, selected_device_);
        target.file = entry_.file_name;
        call = [&] {
            return plugin.fn.download_firmware(plugin.devices.data(), device, path_.c_str(),
                                               entry_.file_name, interactive_progress,
                                               &run_.abort_flag);
        };
    } else {
        log_text("********** Firmware  Upload  Start **********");
        host_log("%s(%i) :Preparing to upload to %s", kSource, 744, path_.c_str());
        host_log("%s(%i) :Selected device is device %d", kSource, 746, selected_device_);
        call = [&] {
            return plugin.fn.upload_firmware(plugin.devices.data(), device, path_.c_str(),
                                             interactive_progress, &run_.abort_flag);
        };
    }
    DownloadRecord record = make_download_call(app_, target, &run_.abort_flag, call);
    const int result = record.result;
    set_progress_sink(nullptr);
    on_dialog_thread([&] { app_.run_record.downloads.push_back(std::move(record)); });
    finish_run(result);
}

void MorlinDlg::finish_run(int result) {
    // A stop request (Ctrl-C, SIGTERM) is a cancel nobody waits to confirm: no error box, and
    // the window ends once the run has.
    const bool stop_requested = platform::stop_request_signal() != 0;
    if (result == 0) {
        run_.outcome = kOutcomeSucceeded;
        log_text(download_mode_ ? "********** Firmware Download Complete **********"
                                : "********** Firmware Upload Complete **********");
    } else {
        run_.outcome = kOutcomeFailed;
        // The window behind the error box no longer shows a run under way.
        on_dialog_thread([&] {
            set_position(kIdProgress, 0);
            set_text(kIdStatus, "");
        });
        if (!run_result_is_silent(result) && !stop_requested) {
            // Shown on the dialog thread through the program's port; this thread waits.
            app_.show_host_error(HostError::plugin(result, plugin_index_));
        }
    }
    on_dialog_thread([&] {
        if (result != 0) {
            if (run_may_be_retried(result)) {
                set_inputs({kIdStart, kIdBrowse, kIdDeviceInfo}, true);
            }
        }
        set_text(kIdClose, app_.texts.text(kStrClose));
        any_run_finished_ = true;
        run_.running = 0;
        run_.finished = 1;
        focus(kIdClose);
        if (stop_requested) {
            end(dialogs::kEndCancel);
        }
    });
}

void MorlinDlg::progress(int steps, const std::string& text) {
    show_progress(kIdProgress, kIdStatus, steps, text);
}

} // namespace morlin
