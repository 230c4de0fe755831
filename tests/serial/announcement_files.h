#pragma once
// Announcement files of simulated terminals, written as the simulators write them.
#include <filesystem>
#include <string>

namespace serial_test {

// Writes `<folder>/<name>` the way simulators do: a hidden temporary file renamed into place.
void write_file_atomically(const std::filesystem::path& folder, const std::string& name,
                           const std::string& text);

// An announcement of a Halvane terminal whose port is `port_address`.
std::string announcement_text(const std::string& serial, const std::string& port_name,
                              const std::string& port_address);

} // namespace serial_test
