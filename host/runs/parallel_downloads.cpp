#include "host/runs/parallel_downloads.h"

#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/entry_download.h"
#include "host/runs/lane_workers.h"
#include "host/runs/silent_download.h"
#include "platform/processes/stop_request.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";

bool allows_parallel_downloads(const MorlinApp& app, const DownloadEntry& entry) {
    if (!download_target_exists(app, entry)) {
        return false;
    }
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    return plugin.fn.get_capabilities != nullptr &&
           (plugin.fn.get_capabilities() & VUP_CAP_PARALLEL_DOWNLOADS) != 0;
}

} // namespace

std::vector<std::vector<int>> download_lanes(std::span<const LaneEntry> entries) {
    struct Keyed {
        int plugin;
        int device; // -1: the plug-in's one lane
        std::vector<int> lane;
    };
    std::vector<Keyed> lanes;
    for (const LaneEntry& entry : entries) {
        const int device = entry.parallel_allowed ? entry.device : -1;
        auto found = std::find_if(lanes.begin(), lanes.end(), [&](const Keyed& keyed) {
            return keyed.plugin == entry.plugin && keyed.device == device;
        });
        if (found == lanes.end()) {
            lanes.push_back({entry.plugin, device, {}});
            found = std::prev(lanes.end());
        }
        found->lane.push_back(entry.index);
    }
    std::vector<std::vector<int>> result;
    for (Keyed& keyed : lanes) {
        result.push_back(std::move(keyed.lane));
    }
    return result;
}

std::vector<std::vector<int>> plan_lanes(const MorlinApp& app, std::span<const int> indexes) {
    std::vector<LaneEntry> entries;
    for (const int index : indexes) {
        const DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        entries.push_back(
            {index, entry.plugin_index, entry.device_index, allows_parallel_downloads(app, entry)});
    }
    std::vector<std::vector<int>> lanes = download_lanes(entries);
    host_log("%s :Parallel run: %zu downloads on %zu lanes", kSource, entries.size(), lanes.size());
    return lanes;
}

HostError run_parallel_downloads(MorlinApp& app) {
    std::vector<int> indexes;
    for (int index = 0; index < app.download_count; ++index) {
        if (app.downloads[static_cast<std::size_t>(index)].device_index != kNoDevice) {
            indexes.push_back(index);
        }
    }
    if (indexes.empty()) {
        return HostError::host(kStrSilentRunFailed);
    }
    LaneWorkers workers(plan_lanes(app, indexes));
    std::vector<std::optional<DownloadRecord>> records(
        static_cast<std::size_t>(app.download_count));
    const auto download = [&](std::size_t lane, int index, bool /*first*/) {
        DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        if (!entry_may_start(app, entry, index)) {
            return;
        }
        const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
        set_log_line_tag(plugin.devices[static_cast<std::size_t>(entry.device_index)].name);
        workers.rearm(lane);
        records[static_cast<std::size_t>(index)] =
            download_entry(app, entry, workers.abort_flag(lane), false);
        set_log_line_tag({});
    };
    // A stop request (Ctrl-C, SIGTERM) ends every download the plug-in's way, as a cancel.
    workers.run(
        download, [] { return platform::stop_request_signal() != 0; },
        [] {
            host_log("%s :Stop request (signal %d): every download is ended as a cancel", kSource,
                     platform::stop_request_signal());
        });

    bool any_failed = false;
    for (const int index : indexes) {
        const auto& record = records[static_cast<std::size_t>(index)];
        if (!record) {
            any_failed = true; // not started: a stop request or a device not listed
            continue;
        }
        any_failed = any_failed || record->result != 0;
        app.run_record.downloads.push_back(*record);
    }
    return any_failed ? HostError::host(kStrSilentRunFailed) : HostError::none();
}

} // namespace morlin
