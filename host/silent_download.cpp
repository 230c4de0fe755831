#include "host/silent_download.h"

#include "host/backup_path.h"
#include "host/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"

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

void log_failure(MorlinApp& app, const DownloadEntry& entry, int result) {
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    char message[VUP_TEXT_SIZE] = {};
    plugin.fn.get_error_message(result, message);
    message[VUP_TEXT_SIZE - 1] = '\0';
    host_log("Download to device %d failed (%d): %s", static_cast<int>(entry.device_index), result,
             message);
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

        PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
        int abort_flag = 0; // nobody aborts a silent run
        const int result = plugin.fn.download_firmware(
            plugin.devices.data(), static_cast<std::uint8_t>(entry.device_index), entry.backup_path,
            entry.file_name, nullptr, &abort_flag);
        if (result != 0) {
            any_failed = true;
            log_failure(app, entry, result);
        }
    }
    if (!any_device || any_failed) {
        return HostError::host(kStrSilentRunFailed);
    }
    return HostError::none();
}

} // namespace morlin
