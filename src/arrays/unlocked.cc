#include "arrays/unlocked.h"

#include <chrono>
#include <thread>

#include "py/translate.h"

namespace tavik::arrays {
namespace {

// The thread state this thread gave up, for the stop check to borrow it back.
thread_local PyThreadState* t_saved = nullptr;

// Takes the lock back. Once the interpreter is finalizing, a thread other
// than the finalizing one that asks for it is ended by the interpreter with
// the platform's thread exit, which unwinds the stack like an exception:
// through this call's frames it would run destructors that touch Python
// objects without the lock, and reach handlers that end the process when
// they do not rethrow it. The thread is parked instead, as later
// interpreters park such threads themselves; the process is exiting.
void take_lock_back(PyThreadState* saved) {
  try {
    PyEval_RestoreThread(saved);
  } catch (...) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

bool signal_handler_raised_unlocked() {
  take_lock_back(t_saved);
  const bool raised = py::signal_handler_raised();
  t_saved = PyEval_SaveThread();
  return raised;
}

}  // namespace

Unlocked::Unlocked() : saved_(t_saved), stop_(&signal_handler_raised_unlocked) { t_saved = PyEval_SaveThread(); }

Unlocked::~Unlocked() {
  take_lock_back(t_saved);
  t_saved = saved_;
}

}  // namespace tavik::arrays
