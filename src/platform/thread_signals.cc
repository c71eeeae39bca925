#include "platform/thread_signals.h"

#if __has_include(<pthread.h>) && __has_include(<signal.h>)
#include <pthread.h>
#include <signal.h>
#define TAVIK_HAS_SIGNAL_MASKS 1
#endif

namespace tavik::platform {

#ifdef TAVIK_HAS_SIGNAL_MASKS

void start_threads_without_signals(const std::function<void()>& start) {
  sigset_t blocked;
  sigfillset(&blocked);
  for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&blocked, fault);
  sigset_t saved;
  pthread_sigmask(SIG_BLOCK, &blocked, &saved);
  struct Restore {
    const sigset_t& saved;
    ~Restore() { pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
  } restore{saved};
  start();
}

#else

void start_threads_without_signals(const std::function<void()>& start) { start(); }

#endif

}  // namespace tavik::platform
