#include "host/plugins/download_targets.h"

#include "host/host_log.h"
#include "host/morlin_app.h"

#include <cstring>
#include <string>

namespace morlin {

namespace {

bool targeted_before(const MorlinApp& app, int before, int device) {
    for (int other = 0; other < before; ++other) {
        const DownloadEntry& entry = app.downloads[static_cast<std::size_t>(other)];
        if (entry.plugin_index == app.current_plugin_index && entry.device_index == device) {
            return true;
        }
    }
    return false;
}

// The first candidate device of the current plug-in that no entry before `position` targets.
int first_untargeted_candidate(const MorlinApp& app, int position) {
    const DeviceInfoList& devices = app.current_plugin->devices;
    for (int device = 0; device < VUP_DEVICE_LIST_SIZE; ++device) {
        const DeviceInfoEntry& entry = devices[static_cast<std::size_t>(device)];
        if (entry.name[0] == '\0') {
            break;
        }
        if (entry.candidate != 0 && !targeted_before(app, position, device)) {
            return device;
        }
    }
    return kNoDevice;
}

} // namespace

int assign_to_candidates(MorlinApp& app, int index, int candidates) {
    DownloadEntry& entry = app.downloads[static_cast<std::size_t>(index)];
    entry.plugin_index = app.current_plugin_index;
    entry.device_index = app.last_chosen_device;

    const int wanted = candidates - 1;
    const int room = kMaxDownloadEntries - app.download_count;
    const int copies = wanted < room ? wanted : room;
    if (copies < wanted) {
        log_text("Download file table is full: " + std::to_string(wanted - copies) + " of " +
                 std::to_string(candidates) + " matching devices do not receive " +
                 std::string(entry.file_name, strnlen(entry.file_name, sizeof entry.file_name)));
    }
    if (copies <= 0) {
        return 0;
    }
    // Make room right after the entry.
    for (int moved = app.download_count - 1; moved > index; --moved) {
        app.downloads[static_cast<std::size_t>(moved + copies)] =
            app.downloads[static_cast<std::size_t>(moved)];
    }
    app.download_count += copies;
    for (int copy = 1; copy <= copies; ++copy) {
        const int position = index + copy;
        DownloadEntry& target = app.downloads[static_cast<std::size_t>(position)];
        target = app.downloads[static_cast<std::size_t>(index)];
        target.device_index = first_untargeted_candidate(app, position);
        if (target.device_index == kNoDevice) {
            target.plugin_index = kNoPlugin;
        }
    }
    return copies;
}

void remove_repeated_targets(MorlinApp& app) {
    if (app.current_plugin != nullptr && app.current_plugin->is_mobile_terminal_plugin()) {
        return;
    }
    for (int first = 0; first < app.download_count; ++first) {
        const DownloadEntry& kept = app.downloads[static_cast<std::size_t>(first)];
        if (kept.device_index == kNoDevice) {
            continue;
        }
        for (int later = first + 1; later < app.download_count; ++later) {
            DownloadEntry& repeated = app.downloads[static_cast<std::size_t>(later)];
            if (repeated.plugin_index == kept.plugin_index &&
                repeated.device_index == kept.device_index) {
                repeated.plugin_index = kNoPlugin;
                repeated.device_index = kNoDevice;
            }
        }
    }
}

} // namespace morlin
