#pragma once
// Starting another program as a child process and reading its exit code without waiting.
#include "platform/processes/held_program.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class ChildProcess {
  public:
    // Dropping a child that still runs neither ends it nor waits for it.
    virtual ~ChildProcess() = default;
    // Nothing while the child runs; then its exit code. Never blocks. A child ended by a
    // signal gives 128 plus the signal number (as the shells report it), never 0 or 1.
    virtual std::optional<int> exit_code() = 0;
};

// Starts the held program file `program` with `command_line` (a Windows command line without
// the program name: on Windows it is the child's whole command line; here its words,
// platform/processes/command_line_words.h, follow `program_path`, the program's own path, as
// its first argument), in the folder `folder`, with
// this process's environment and standard handles, and no shell in between. Null when it
// cannot be started; `error` then holds the system's error code (errno here).
std::unique_ptr<ChildProcess> start_child_process(const HeldProgram& program,
                                                  const std::string& program_path,
                                                  const std::string& command_line,
                                                  const std::string& folder, std::uint32_t& error);

} // namespace platform
