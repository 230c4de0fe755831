#pragma once
// The running processes as the tool-help snapshots give them: each process's id and program
// name, the program files loaded into a process (its modules), and ending a process. On Linux
// from /proc (docs/platform.md, "Processes"). In a build with test hooks,
// MORLIN_PROCESS_SCOPE=<process id> limits the table to that process's descendants: tests set it,
// so that they only ever see (and end) processes they started themselves.
#include "platform/processes/proc_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    std::uint32_t id = 0;
    std::string name; // the program's file name ("zkaservice.exe")
    ProcessCredentials credentials;
    bool zombie = false; // ended, waiting to be reaped: it has no program file any more
};

// A snapshot of the running processes, by id. Nothing, with the last error set, when the
// process table cannot be read at all.
[[nodiscard]] std::optional<std::vector<ProcessEntry>> process_snapshot();

// The full paths of the program files loaded into a process: its program file first, then
// the libraries and other mapped files. Nothing, with the last error set, when they cannot be
// read (87 when the process no longer exists).
[[nodiscard]] std::optional<std::vector<std::string>> process_modules(std::uint32_t id);

// Whether the process still runs: it exists and is no zombie.
[[nodiscard]] bool process_alive(std::uint32_t id);

// Ends a process: asked politely first (SIGTERM), then forced (SIGKILL) when it is still
// there after a grace of 2 s (scaled by MORLIN_TIME_SCALE); a child of the caller is reaped.
// True when the process has ended (also when it was already gone); otherwise false with the
// last error set.
[[nodiscard]] bool end_process(std::uint32_t id);

} // namespace platform
