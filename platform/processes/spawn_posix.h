#pragma once
// Starting a program with posix_spawn, shared by the child processes Valdrun waits for and
// the programs it starts on their own: the program named by its path (never searched), no
// shell, this process's environment, no blocked signals and every signal's default action.
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Starts `arguments[0]` with `arguments` in `folder` (empty: the current folder). `detached`
// gives it a session of its own and only the standard handles. 0 with `pid` set, or an errno.
int spawn_program(std::vector<std::string> arguments, const std::string& folder, bool detached,
                  pid_t& pid);

} // namespace platform
