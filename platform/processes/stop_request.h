#pragma once
// Stop requests from outside the program: Ctrl-C (SIGINT) and SIGTERM on POSIX, later the
// console's Ctrl-C and close events on Windows.
//
// After install(), the first request does not end the program: it is noted, and it sets the
// abort flag that is bound at that moment (the word a plug-in polls during a download), so
// that the work in progress ends its own orderly way. A second request ends the process at
// once with exit code 128 + its signal number, after one line on standard error.
namespace platform {

// Installs the handlers; `second_request_notice` (kept, not copied) is the line written on
// standard error when a second request ends the program. Call once, early, on the main thread.
void install_stop_request_handler(const char* second_request_notice);

// The signal number of the first request (SIGINT 2, SIGTERM 15), 0 while there was none.
int stop_request_signal();

// While bound, a stop request also stores 1 into `*abort_flag`; a request that came before
// the binding is stored at once. Pass null to unbind. The word must outlive the binding.
void bind_abort_flag(int* abort_flag);

} // namespace platform
