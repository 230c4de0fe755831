#pragma once
// The device announcement: a `<name>.device` file in the devices folder that tells the device
// lists what the device installer would (class, instance and hardware IDs, device-key values)
// and where the terminal's serial port is reached. Deleting the file is unplugging.
#include "sim/terminal_simulator.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct AnnouncementIdentity {
    TerminalModel model = TerminalModel::Halvane;
    AnnounceAs announce_as = AnnounceAs::Ports;
    std::string serial;
    std::string port_name;
    std::uint16_t tcp_port = 0;
    std::uint32_t process_id = 0; // the announcing process (ProcessId); 0: not written
};

// The file's text.
std::string announcement_text(const AnnouncementIdentity& identity);

// The lowest "COM<n>" (n >= 3) that no other announcement in `directory` names as its
// PortName.
std::string free_port_name(std::string_view directory);

// Writes `<directory>/<name>.device` in one step (a hidden temporary file renamed into place).
// Returns the file's path, or an empty string with a reason in `error`.
std::string write_announcement(std::string_view directory, std::string_view name,
                               std::string_view text, std::string& error);
// Removes the file; true when it is gone.
bool remove_announcement(const std::string& path);

// Announces `count` more Halvane terminals, `<stem>0`, `<stem>1`, ... on COM100, COM101, ...,
// whose ports nobody serves: a crowded device list for benchmarks and tests. Returns their
// files (an empty name for one that could not be written).
std::vector<std::string> announce_unserved_terminals(std::string_view directory,
                                                     std::string_view stem, int count);

} // namespace sim
