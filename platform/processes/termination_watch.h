#pragma once
// Termination requests (SIGTERM, SIGHUP, SIGINT on POSIX) handed to a watcher thread instead of
// ending the program at once, for a program that must put back what it changed before it ends
// (Valdrun with the smart-card service stopped). The handler only notes the request; the
// watcher thread may then do anything, including ending the process.
#include <functional>

namespace platform {

// Installs the handlers and starts the watcher thread; `on_request(signal_number, count)` runs
// on that thread for each request, `count` being 1 for the first. Call once, on the main
// thread, before other threads start.
void watch_termination(std::function<void(int signal_number, int count)> on_request);

// Ends the process as the request's signal would have ended it without a handler.
[[noreturn]] void end_by_signal(int signal_number);

} // namespace platform
