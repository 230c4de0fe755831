#include "host/runs/silent_download.h"

#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/entry_download.h"
#include "host/runs/parallel_downloads.h"
#include "platform/processes/stop_request.h"

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";

// Downloads one entry with the abort flag bound to stop requests (Ctrl-C, SIGTERM): the
// plug-in then ends the download as a cancel.
DownloadRecord download_bound_to_stop_requests(MorlinApp& app, DownloadEntry& entry) {
    // It lives as long as the program, as the signal handler may still reach it.
    static int abort_flag = 0;
    abort_flag = 0;
    return download_entry(app, entry, &abort_flag, true);
}

} // namespace

bool entry_may_start(const MorlinApp& app, const DownloadEntry& entry, int index) {
    if (platform::stop_request_signal() != 0) {
        host_log("%s :Stop request (signal %d): %s is not downloaded", kSource,
                 platform::stop_request_signal(), entry.file_name);
        return false;
    }
    if (!download_target_exists(app, entry)) {
        host_log("Download entry %d names no listed device", index);
        return false;
    }
    return true;
}

HostError run_silent_downloads(MorlinApp& app) {
    if (app.command_line.parallel()) {
        return run_parallel_downloads(app);
    }
    bool any_device = false;
    bool any_failed = false;
    for (int index = 0; index < app.download_count; ++index) {
        DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        if (entry.device_index == kNoDevice) {
            continue;
        }
        any_device = true;
        if (!entry_may_start(app, entry, index)) {
            any_failed = true;
            continue;
        }
        const DownloadRecord record = download_bound_to_stop_requests(app, entry);
        any_failed = any_failed || record.result != 0;
        app.run_record.downloads.push_back(record);
    }
    if (!any_device || any_failed) {
        return HostError::host(kStrSilentRunFailed);
    }
    return HostError::none();
}

} // namespace morlin
