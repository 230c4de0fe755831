#pragma once
// Which device receives which configured file: an entry of the download-file table is given
// to the devices its match found, one copy of the entry per further device, and a device
// that would receive several files keeps only the first.
#include "host/plugins/download_entry.h"

namespace morlin {

class MorlinApp;

// Gives entry `index` of the table the current plug-in and its last chosen device, then
// inserts `candidates` - 1 copies right after it, each for the next candidate device (index
// order) that no earlier entry targets on the same plug-in. The table holds 30 entries: copies
// beyond it are refused and logged. Returns the number of copies inserted.
[[nodiscard]] int assign_to_candidates(MorlinApp& app, int index, int candidates);

// Unless the plug-in that served the last accepted file is a mobile-terminal plug-in: every
// later entry that targets the same plug-in and device as an earlier one is set to 255/255.
void remove_repeated_targets(MorlinApp& app);

} // namespace morlin
