#pragma once
// A configured run with /PARALLEL: the entries are split into lanes, each downloaded
// by a worker of its own, one entry after another. Entries for different devices of a plug-in
// that allows parallel downloads (VUPGetCapabilities) get lanes of their own; entries for the
// same device, and every entry of a plug-in that does not allow it, keep their table order in
// one lane per device or per plug-in. Host lines logged by a lane start with "[device] ". The
// silent run is here; the progress dialog runs its lanes itself (host/dialogs/).
#include "host/host_error.h"

#include <span>
#include <vector>

namespace morlin {

class MorlinApp;

struct LaneEntry {
    int index = 0;  // in the download-file table
    int plugin = 0; // plug-in index
    int device = 0; // device index in that plug-in's list
    bool parallel_allowed = false;
};

// The lanes of `entries` (given in table order): table indexes, each lane in table order,
// the lanes ordered by their first entry.
std::vector<std::vector<int>> download_lanes(std::span<const LaneEntry> entries);

// The lanes of the table's entries `indexes` (each with a listed device, in table order), as
// download_lanes() splits them for this run's plug-ins; logs how many there are.
std::vector<std::vector<int>> plan_lanes(const MorlinApp& app, std::span<const int> indexes);

// Downloads every entry that has a device, lane by lane at the same time, and records each
// result in table order. A stop request sets every lane's abort flag; a lane's own failure
// (its terminal unplugged) leaves the others running. Outcome as the sequential loop's.
HostError run_parallel_downloads(MorlinApp& app);

} // namespace morlin
