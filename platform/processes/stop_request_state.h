#pragma once
// What the system handlers of stop requests (stop_request_posix.cpp, stop_request_win32.cpp)
// share: the first request's signal number, the bound abort flag and the notice. Lock-free
// atomics only, so that a POSIX signal handler may call it.
namespace platform::stop_state {

// Notes a request. True for the first one: it is recorded and the bound abort flag is set.
// False for a later one: the handler writes second_request_notice() and ends the process.
bool note_request(int signal_number);

void set_second_request_notice(const char* notice);
// Null when none was given.
const char* second_request_notice();

} // namespace platform::stop_state
