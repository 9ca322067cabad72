// The signals that ask a server to stop (SIGTERM from Kubernetes or a
// supervisor, SIGINT from a terminal). The handler only notes the first
// signal and writes one byte to a pipe that nobody reads; the loops look at
// the note between passes, and a wait that may last (an accept, a read)
// polls the pipe beside its socket, so that it wakes.
#pragma once

#include <initializer_list>
#include <string>

namespace velmora {

// Installs the handler for each signal. The pipe is made on the first call.
// The handler restarts interrupted calls, so the other threads go on as if
// nothing happened.
void catch_stop_signals(std::initializer_list<int> signals);

// The first stop signal received; 0 while none came.
int stop_signal();

// The pipe's reading end, readable from the first signal on; -1 before
// catch_stop_signals.
int stop_signal_fd();

// "SIGTERM", "SIGINT", else "signal N".
std::string signal_name(int signal);

}  // namespace velmora
