#pragma once
// Whether the program runs in a remote session (Remote Desktop on Windows:
// GetSystemMetrics(SM_REMOTESESSION)). Other platforms have no such sessions: false.
namespace platform {

bool running_in_remote_session();

} // namespace platform
