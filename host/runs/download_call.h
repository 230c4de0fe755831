#pragma once
// One download (or upload) call into a plug-in, as every course makes it: the stop request
// (Ctrl-C, SIGTERM) is bound to the call's abort flag while it runs, so that the plug-in ends
// it as a cancel; the call is timed, its result logged, and what the run history keeps of it
// returned.
#include "host/runs/run_record.h"

#include <functional>
#include <string>

namespace morlin {

class MorlinApp;

struct DownloadTarget {
    int plugin_index = 0;
    int device_index = 0;
    std::string file; // the firmware file (download) or the file written (upload)
};

// Makes `call` (the plug-in call, with `abort_flag` handed to it) for `target`. Any thread;
// it reads only the plug-in table, which does not change while a run goes on. Without
// `bind_stop_requests` the caller passes stop requests on to the flag itself (the lanes of a
// parallel run, which share one binding).
DownloadRecord make_download_call(const MorlinApp& app, const DownloadTarget& target,
                                  int* abort_flag, const std::function<int()>& call,
                                  bool bind_stop_requests = true);

} // namespace morlin
