// Windows has no wake pipe: the terminal reader (console_terminal_win32.cpp) looks for tasks
// between keystrokes instead.
#include "ui/task_queue_wake.h"

namespace dialogs {

void open_wake_pipe(int (&pipe)[2]) {
    pipe[0] = pipe[1] = -1;
}

void close_wake_pipe(int (&)[2]) {}

void signal_wake_pipe(int) {}

void drain_wake_pipe(int) {}

} // namespace dialogs
