#pragma once
// The download loop of a silent configured run: every entry of the download-file table that
// has a device is downloaded, one after another, on the calling thread, without progress;
// with /PARALLEL the entries of different devices run at the same time where the plug-in
// allows it (host/runs/parallel_downloads.h).
#include "host/host_error.h"

namespace morlin {

class MorlinApp;
struct DownloadEntry;

// Downloads the entries in table order. Outcome: 0 when at least one entry had a device and
// every download succeeded, else 106.
HostError run_silent_downloads(MorlinApp& app);

// Whether the entry at `index` may be downloaded: no stop request came and its device is
// listed. Logs why not.
bool entry_may_start(const MorlinApp& app, const DownloadEntry& entry, int index);

} // namespace morlin
