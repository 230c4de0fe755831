#include "host/runs/silent_download.h"

#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/backup_path.h"
#include "host/runs/download_call.h"
#include "platform/processes/stop_request.h"

#include <string>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";

// An entry whose plug-in or device is not in the lists of this run cannot be downloaded.
bool target_exists(const MorlinApp& app, const DownloadEntry& entry) {
    if (entry.plugin_index < 0 || entry.plugin_index >= app.plugin_count ||
        entry.device_index < 0) {
        return false;
    }
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    return plugin.bound() && entry.device_index < plugin.device_count;
}

// Downloads one entry and returns what the run history keeps of it.
DownloadRecord download_entry(MorlinApp& app, DownloadEntry& entry) {
    PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    // A stop request (Ctrl-C, SIGTERM) sets this word; the plug-in then ends the download as
    // a cancel. It lives as long as the program, as the signal handler may still reach it.
    static int abort_flag = 0;
    abort_flag = 0;
    const DownloadTarget target{entry.plugin_index, entry.device_index, entry.file_name};
    return make_download_call(app, target, &abort_flag, [&] {
        return plugin.fn.download_firmware(
            plugin.devices.data(), static_cast<std::uint8_t>(entry.device_index), entry.backup_path,
            entry.file_name, nullptr, &abort_flag);
    });
}

} // namespace

HostError run_silent_downloads(MorlinApp& app) {
    bool any_device = false;
    bool any_failed = false;
    for (int index = 0; index < app.download_count; ++index) {
        DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        if (entry.device_index == kNoDevice) {
            continue;
        }
        any_device = true;
        if (platform::stop_request_signal() != 0) {
            host_log("%s :Stop request (signal %d): %s is not downloaded", kSource,
                     platform::stop_request_signal(), entry.file_name);
            any_failed = true;
            continue;
        }
        if (!target_exists(app, entry)) {
            host_log("Download entry %d names no listed device", index);
            any_failed = true;
            continue;
        }
        set_record_field(entry.backup_path,
                         app.options.backup
                             ? backup_file_path(app.backup_directory, platform::local_time())
                             : std::string());

        log_text("********** Firmware  Download  Start **********");
        host_log("%s(%i) :Preparing to download %s", kSource, 1652, entry.file_name);
        host_log("%s(%i) :Selected device is device %d", kSource, 1655,
                 static_cast<int>(entry.device_index));

        const DownloadRecord record = download_entry(app, entry);
        any_failed = any_failed || record.result != 0;
        app.run_record.downloads.push_back(record);
    }
    if (!any_device || any_failed) {
        return HostError::host(kStrSilentRunFailed);
    }
    return HostError::none();
}

} // namespace morlin
