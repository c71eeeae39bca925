// Threads that native code starts in a Python process must not take the
// process's asynchronous signals: Python runs its handlers on the main
// thread, and a signal that the system hands to a worker instead reaches the
// interpreter late or, under some emulators, not until that worker wakes.
#pragma once

#include <functional>

namespace tavik::platform {

// Runs `start` with every asynchronous signal blocked on the calling thread,
// so that the threads it starts inherit that mask; the caller's mask is back
// afterwards, even if `start` throws. Faults (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGTRAP, SIGSYS) stay deliverable: they belong to the thread that
// causes them. Without POSIX signals, runs `start` as it is.
void start_threads_without_signals(const std::function<void()>& start);

}  // namespace tavik::platform
