#pragma once

namespace vx37 {

// SIGINT, SIGTERM and SIGHUP (an SSH session that drops) written to a pipe, so that a
// program ends from its own loop, its port closed, instead of in the middle of a step. A
// signal its caller ignores (nohup, a background job) stays ignored. SIGPIPE is ignored:
// a reader that went away must not end the program in the middle of a command.
// Returns the pipe's read end (close-on-exec, non-blocking), or -1 when none could be made.
int catchEndingSignals();

// The signal that came through the pipe, or 0 when none is waiting.
int takeEndingSignal(int pipeReadEnd);

// Ends the program as the signal would have, so that a calling shell or script sees it.
[[noreturn]] void endBySignal(int signal);

} // namespace vx37
