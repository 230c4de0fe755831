#pragma once
// The stop record: a small file in Valdrun's runtime folder (/run/valdrun/ as root, else the
// user's runtime folder) that names what a run has stopped, written before each stop and
// removed once everything runs again. A run that was killed (SIGKILL, a power cut) leaves it
// behind; the next start finds it and starts those first (docs/valdrun.md, "Running as root").
//
//     valdrun-stopped
//     service pcscd.service
//     dependent pcscd.socket
//     process 0 0 /opt/zka/zkaservice.exe
#include "wrapper/housekeeping/housekeeping.h"

#include <optional>
#include <string>
#include <string_view>

namespace valdrun {

// What a stop record names. The process is the program file to start again (as that user and
// group), not yet opened.
struct StoppedThings {
    bool service = false;
    std::vector<std::string> dependents; // in the order of stopping
    std::optional<std::string> process_path;
    std::uint32_t process_user = 0;
    std::uint32_t process_group = 0;
};

std::string stop_record_text(const StoppedThings& stopped);
// Nothing for a text that is not a stop record; lines it does not know are passed over.
std::optional<StoppedThings> parse_stop_record(std::string_view text);

// The file; empty when there is no runtime folder to keep it in.
std::string stop_record_path();
// Replaces the file with one that names `stopped`; false when it cannot be written.
bool save_stop_record(const StoppedThings& stopped);
void remove_stop_record();

// At start-up: when a stop record is there, starts again what it names (the service, its
// dependents in reverse order, the process from its trusted program file unless one of its
// name runs already), logs it and removes the record. False when there was none.
bool restart_what_an_earlier_run_left_stopped();

} // namespace valdrun
