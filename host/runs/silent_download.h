#pragma once
// The download loop of a silent configured run: every entry of the download-file table that
// has a device is downloaded, one after another, on the calling thread, without progress.
#include "host/host_error.h"

namespace morlin {

class MorlinApp;

// Downloads the entries in table order. Outcome: 0 when at least one entry had a device and
// every download succeeded, else 106.
HostError run_silent_downloads(MorlinApp& app);

} // namespace morlin
