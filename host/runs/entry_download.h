#pragma once
// One entry of a silent configured run: its backup path, its log lines and the plug-in's
// download call, and what the run history keeps of it. Used by the loop that downloads one
// entry after another and by the lanes that download to several devices at the same time.
#include "host/runs/run_record.h"

namespace morlin {

class MorlinApp;
struct DownloadEntry;

// Whether the entry's plug-in and device are in the lists of this run.
bool download_target_exists(const MorlinApp& app, const DownloadEntry& entry);

// The start of one entry's download: its backup path (when backups are on) and the start
// lines of the log, the two host lines named with `source` and its two line numbers.
struct LogPlace {
    const char* source;
    int preparing_line;
    int device_line;
};
void prepare_entry(MorlinApp& app, DownloadEntry& entry, const LogPlace& place);

// Builds the backup path, logs the start lines and downloads the entry into its device with
// `abort_flag` (the caller's word, which the plug-in may set; with `bind_stop_requests` a stop
// request sets it too). The plug-in's result, with its text and the time it took, is logged
// and returned.
DownloadRecord download_entry(MorlinApp& app, DownloadEntry& entry, int* abort_flag,
                              bool bind_stop_requests);

} // namespace morlin
