#pragma once
// What the sample update tool loads, and where: the versions of the reader description in its
// folder, into the simulated device that description names, reached the way the maker's own
// tool reaches it. A terminal (announced as a USB serial port) gets a firmware image and an
// application image carrying those versions through its download mode; a USB reader
// (announced in the reader driver's interface class) gets the maker's firmware load request
// over its control channel. The device runs what it was given: a detection after the load
// reads the described versions.
#include <string>

namespace sim {

enum class LoadOutcome { NoDescription, Loaded, Failed };

// Loads into the device described by the file at `description_path`; on failure `problem`
// says why (a line for standard error).
LoadOutcome load_described_device(const std::string& description_path, std::string& problem);

} // namespace sim
