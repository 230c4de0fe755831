#pragma once
// The dialog thread's wake pipe: a byte written for each task posted, so that a thread waiting
// on the terminal (console_terminal_*.cpp) wakes to run it. Descriptors of -1 mean no pipe.

namespace dialogs {

void open_wake_pipe(int (&pipe)[2]);
void close_wake_pipe(int (&pipe)[2]);
void signal_wake_pipe(int write_end);
void drain_wake_pipe(int read_end);

} // namespace dialogs
