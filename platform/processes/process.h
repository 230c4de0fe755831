#pragma once
// The running program's process and whether another process still exists.
#include <cstdint>

namespace platform {

std::uint32_t current_process_id();
// The user the program runs as (its effective user id; 0 is root). Always 0
// on Windows.
std::uint32_t current_user_id();
// False only when the system says that no process with this id exists; a process of another
// user that may not be signalled still exists.
bool process_exists(std::uint32_t process_id);

} // namespace platform
