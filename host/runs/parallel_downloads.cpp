#include "host/runs/parallel_downloads.h"

#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/entry_download.h"
#include "host/runs/silent_download.h"
#include "platform/processes/stop_request.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";
constexpr auto kStopRequestLook = std::chrono::milliseconds(50);

bool allows_parallel_downloads(const MorlinApp& app, const DownloadEntry& entry) {
    if (!download_target_exists(app, entry)) {
        return false;
    }
    const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
    return plugin.fn.get_capabilities != nullptr &&
           (plugin.fn.get_capabilities() & VUP_CAP_PARALLEL_DOWNLOADS) != 0;
}

// What the workers share with the thread that waits for them.
struct LaneRun {
    std::mutex lock;
    std::condition_variable lane_ended;
    int lanes_running = 0;
};

void store(int& flag, int value) {
    std::atomic_ref<int>(flag).store(value);
}

void download_lane(MorlinApp& app, const std::vector<int>& lane, int& abort_flag,
                   std::vector<std::optional<DownloadRecord>>& records) {
    for (const int index : lane) {
        DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        set_log_line_tag({});
        if (!entry_may_start(app, entry, index)) {
            continue;
        }
        const PluginRecord& plugin = app.plugins[static_cast<std::size_t>(entry.plugin_index)];
        set_log_line_tag(plugin.devices[static_cast<std::size_t>(entry.device_index)].name);
        // A removal seen during the lane's last download must not end the next one at once.
        store(abort_flag, platform::stop_request_signal() != 0 ? 1 : 0);
        records[static_cast<std::size_t>(index)] = download_entry(app, entry, &abort_flag, false);
    }
    set_log_line_tag({});
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

HostError run_parallel_downloads(MorlinApp& app) {
    std::vector<LaneEntry> entries;
    for (int index = 0; index < app.download_count; ++index) {
        const DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
        if (entry.device_index != kNoDevice) {
            entries.push_back({index, entry.plugin_index, entry.device_index,
                               allows_parallel_downloads(app, entry)});
        }
    }
    if (entries.empty()) {
        return HostError::host(kStrSilentRunFailed);
    }
    const std::vector<std::vector<int>> lanes = download_lanes(entries);
    host_log("%s :Parallel run: %zu downloads on %zu lanes", kSource, entries.size(), lanes.size());

    // The abort flags stay where they are while the workers run.
    const auto abort_flags = std::make_unique<int[]>(lanes.size());
    std::vector<std::optional<DownloadRecord>> records(
        static_cast<std::size_t>(app.download_count));
    LaneRun run;
    run.lanes_running = static_cast<int>(lanes.size());
    std::vector<std::thread> workers;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        workers.emplace_back([&, lane] {
            download_lane(app, lanes[lane], abort_flags[lane], records);
            std::lock_guard guard(run.lock);
            --run.lanes_running;
            run.lane_ended.notify_all();
        });
    }
    // A stop request (Ctrl-C, SIGTERM) ends every download the plug-in's way, as a cancel.
    bool stop_passed_on = false;
    {
        std::unique_lock guard(run.lock);
        while (!run.lane_ended.wait_for(guard, kStopRequestLook,
                                        [&] { return run.lanes_running == 0; })) {
            if (!stop_passed_on && platform::stop_request_signal() != 0) {
                stop_passed_on = true;
                for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
                    store(abort_flags[lane], 1);
                }
                host_log("%s :Stop request (signal %d): every download is ended as a cancel",
                         kSource, platform::stop_request_signal());
            }
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    bool any_failed = false;
    for (const LaneEntry& entry : entries) {
        const auto& record = records[static_cast<std::size_t>(entry.index)];
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
