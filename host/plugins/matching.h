#pragma once
// Matching a configured firmware file to the devices of the plug-in that serves it: by the
// SymLink record of Morlin.cfg, by product type, or by the plug-in's general filter. The
// result is the number of candidate devices; the outcome says why there is none.
#include "host/host_error.h"
#include "host/plugins/plugin_record.h"

namespace morlin {

class MorlinApp;

struct CandidateCount {
    int count = 0;                // candidate devices left after the preference rule
    int last_chosen = 0;          // the last device counted
    bool all_wait_in_dfu = false; // several candidates, all waiting in download mode (101)
};

// Counts the devices whose candidate flag is set, in index order, up to the end of the list.
// With `prefer_normal_operation` (configured runs): when any candidate is in normal operation,
// every candidate that waits in download mode loses its candidate flag and the ones in normal
// operation are counted; two or more candidates that all wait in download mode count 0 with
// `all_wait_in_dfu` (101). `last_chosen` starts at `previous_last_chosen` and is left there
// when no device counts.
[[nodiscard]] CandidateCount count_candidates(DeviceInfoList& devices, bool prefer_normal_operation,
                                              int previous_last_chosen);

struct MatchResult {
    int candidates = 0;
    HostError outcome;
    bool stops_run = false; // /IV refused: the whole configured run ends with failure
};

// Matches the download entry app.matching_entry to the devices of app.current_plugin, under
// the run's options, and logs why nothing matched. Sets app.last_chosen_device and, under
// /IV, app.iv_flag.
[[nodiscard]] MatchResult match_file_to_devices(MorlinApp& app);

} // namespace morlin
