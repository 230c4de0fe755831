#pragma once
// The plug-ins' device information lists: created at the start of a run or of the device
// information display, destroyed at the end of a run and at exit.
#include "host/host_error.h"

namespace morlin {

class MorlinApp;

// Every bound plug-in lists its devices into its record. Counts the devices per plug-in and
// in total and sets the upload-available flag. Outcome: 0; the last plug-in's failure when no
// plug-in succeeded (marked as from that plug-in, which becomes the current plug-in); 102
// when no plug-in lists any device.
HostError create_device_lists(MorlinApp& app);

// Every bound plug-in destroys its list (a failure is shown at once as that plug-in's error),
// then the host zero-fills the list. Returns the last plug-in result.
[[nodiscard]] int end_run(MorlinApp& app);

} // namespace morlin
