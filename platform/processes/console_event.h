#pragma once
// What the program does with a console event on Windows (SetConsoleCtrlHandler). Ctrl-C and
// Ctrl-Break are an interrupt (as SIGINT), closing the console window, logging off and shutting
// down a termination (as SIGTERM). For those three Windows ends the process as soon as the
// handler returns, so the handler holds on until the run has stopped its own way and the
// program has ended; Windows ends it anyway when its own time is up (5 s after the console
// was closed, the session's time-out when logging off or shutting down).
namespace platform {

enum class ConsoleEvent { CtrlC, CtrlBreak, Close, Logoff, Shutdown };

struct ConsoleEventHandling {
    int signal_number;    // 2 (interrupt) or 15 (termination)
    bool hold_until_exit; // the handler does not return while the program runs
};

ConsoleEventHandling console_event_handling(ConsoleEvent event);

} // namespace platform
