#include "host/runs/entry_download.h"

#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/backup_path.h"
#include "host/runs/download_call.h"
#include "platform/foundation/clock.h"

#include <string>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";

} // namespace

bool download_target_exists(const MorlinApp& app, const DownloadEntry& entry) {
    if (entry.plugin_index < 0 || entry.plugin_index >= app.plugin_count ||
        entry.device_index < 0) {
        return false;
    }
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    return plugin.bound() && entry.device_index < plugin.device_count;
}

void prepare_entry(MorlinApp& app, DownloadEntry& entry, const LogPlace& place) {
    set_record_field(entry.backup_path,
                     app.options.backup
                         ? backup_file_path(app.backup_directory, platform::local_time())
                         : std::string());
    log_text("********** Firmware  Download  Start **********");
    host_log("%s(%i) :Preparing to download %s", place.source, place.preparing_line,
             entry.file_name);
    host_log("%s(%i) :Selected device is device %d", place.source, place.device_line,
             static_cast<int>(entry.device_index));
}

DownloadRecord download_entry(MorlinApp& app, DownloadEntry& entry, int* abort_flag,
                              bool bind_stop_requests) {
    prepare_entry(app, entry, {kSource, 1652, 1655});

    PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    const DownloadTarget target{entry.plugin_index, entry.device_index, entry.file_name};
    return make_download_call(
        app, target, abort_flag,
        [&] {
            return plugin.fn.download_firmware(
                plugin.devices.data(), static_cast<std::uint8_t>(entry.device_index),
                entry.backup_path, entry.file_name, nullptr, abort_flag);
        },
        bind_stop_requests);
}

} // namespace morlin
