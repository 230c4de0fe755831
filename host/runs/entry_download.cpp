#include "host/runs/entry_download.h"

#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/backup_path.h"
#include "platform/files/files.h"
#include "platform/foundation/clock.h"

#include <string>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";

// The plug-in's text for a result code, on one line.
std::string plugin_message(const PluginRecord& plugin, int result) {
    char message[VUP_TEXT_SIZE] = {};
    plugin.fn.get_error_message(result, message);
    message[VUP_TEXT_SIZE - 1] = '\0';
    return message;
}

std::string file_name_of(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint64_t file_size(const char* path) {
    const auto file = platform::File::open(path, platform::OpenOptions{});
    const auto size = file ? file->size() : std::nullopt;
    return size.value_or(0);
}

} // namespace

bool download_target_exists(const MorlinApp& app, const DownloadEntry& entry) {
    if (entry.plugin_index < 0 || entry.plugin_index >= app.plugin_count ||
        entry.device_index < 0) {
        return false;
    }
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    return plugin.bound() && entry.device_index < plugin.device_count;
}

DownloadRecord download_entry(MorlinApp& app, DownloadEntry& entry, int* abort_flag) {
    set_record_field(entry.backup_path,
                     app.options.backup
                         ? backup_file_path(app.backup_directory, platform::local_time())
                         : std::string());
    log_text("********** Firmware  Download  Start **********");
    host_log("%s(%i) :Preparing to download %s", kSource, 1652, entry.file_name);
    host_log("%s(%i) :Selected device is device %d", kSource, 1655,
             static_cast<int>(entry.device_index));

    PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    DownloadRecord record;
    record.file = entry.file_name;
    record.plugin = plugin.module ? file_name_of(plugin.module->path()) : std::string();
    record.device = plugin.devices[static_cast<std::size_t>(entry.device_index)].name;
    record.bytes = file_size(entry.file_name);

    const std::uint64_t started = platform::monotonic_ms();
    record.result = plugin.fn.download_firmware(
        plugin.devices.data(), static_cast<std::uint8_t>(entry.device_index), entry.backup_path,
        entry.file_name, nullptr, abort_flag);
    record.seconds = static_cast<double>(platform::monotonic_ms() - started) / 1000.0;
    if (record.result != 0) {
        record.message = plugin_message(plugin, record.result);
        host_log("Download to device %d failed (%d): %s", static_cast<int>(entry.device_index),
                 record.result, record.message.c_str());
    }
    host_log("%s :Download of %s into device %d (%s) ended with %d (%s) after %.1f s", kSource,
             record.file.c_str(), static_cast<int>(entry.device_index), record.device.c_str(),
             record.result, record.result == 0 ? "success" : "failed", record.seconds);
    return record;
}

} // namespace morlin
