#include "host/runs/download_call.h"

#include "host/host_log.h"
#include "host/morlin_app.h"
#include "platform/files/files.h"
#include "platform/foundation/clock.h"
#include "platform/processes/stop_request.h"

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

std::uint64_t file_size(const std::string& path) {
    const auto file = platform::File::open(path, platform::OpenOptions{});
    const auto size = file ? file->size() : std::nullopt;
    return size.value_or(0);
}

} // namespace

DownloadRecord make_download_call(const MorlinApp& app, const DownloadTarget& target,
                                  int* abort_flag, const std::function<int()>& call,
                                  bool bind_stop_requests) {
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(target.plugin_index)];
    DownloadRecord record;
    record.file = target.file;
    record.plugin = plugin.module ? file_name_of(plugin.module->path()) : std::string();
    record.device = plugin.devices[static_cast<std::size_t>(target.device_index)].name;

    if (bind_stop_requests) {
        platform::bind_abort_flag(abort_flag);
    }
    const std::uint64_t started = platform::monotonic_ms();
    record.result = call();
    record.seconds = static_cast<double>(platform::monotonic_ms() - started) / 1000.0;
    if (bind_stop_requests) {
        platform::bind_abort_flag(nullptr);
    }
    if (record.result != 0) {
        record.message = plugin_message(plugin, record.result);
        host_log("Download to device %d failed (%d): %s", target.device_index, record.result,
                 record.message.c_str());
    }
    record.bytes = file_size(target.file); // after the call: an upload has written it now
    host_log("%s :Download of %s into device %d (%s) ended with %d (%s) after %.1f s", kSource,
             record.file.c_str(), target.device_index, record.device.c_str(), record.result,
             record.result == 0 ? "success" : "failed", record.seconds);
    if (platform::stop_request_signal() != 0) {
        host_log("%s :Stop request (signal %d): the download was ended as a cancel", kSource,
                 platform::stop_request_signal());
    }
    return record;
}

} // namespace morlin
