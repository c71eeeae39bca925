#include "arrays/unlocked.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "py/translate.h"

namespace tavik::arrays {
namespace {

// The thread state this thread gave up, for the stop check to borrow it back.
thread_local PyThreadState* t_saved = nullptr;

// Once the interpreter finalizes, a thread other than the finalizing one
// that asks for the lock is ended by the interpreter (before 3.14) with the
// platform's thread exit, which unwinds the stack like an exception: through
// this module's frames it would run destructors that touch Python objects
// without the lock, reach handlers that end the process when they do not
// rethrow it, or (where the module carries its own C++ runtime) meet an
// unwinder that is not the system's. So no thread of this module asks for
// the lock from the moment the interpreter starts to exit: each parks
// instead, as later interpreters park such threads themselves. `g_exiting`
// is set by an exit hook, which then lets every thread already asking
// (`g_asking`) have the lock before finalization goes on.
std::atomic<bool> g_exiting{false};
std::atomic<int> g_asking{0};

[[noreturn]] void park() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void take_lock_back(PyThreadState* saved) {
  g_asking.fetch_add(1);
  if (g_exiting.load()) {
    g_asking.fetch_sub(1);
    park();
  }
  try {
    PyEval_RestoreThread(saved);
  } catch (...) {  // the thread exit above, should the interpreter finalize without the hook
    g_asking.fetch_sub(1);
    park();
  }
  g_asking.fetch_sub(1);
}

PyObject* let_askers_in(PyObject*, PyObject*) {
  g_exiting.store(true);
  Py_BEGIN_ALLOW_THREADS
  while (g_asking.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
  Py_END_ALLOW_THREADS
  Py_RETURN_NONE;
}

PyMethodDef g_exit_hook{"park_lock_released_calls", &let_askers_in, METH_NOARGS, nullptr};

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

void park_at_exit() {
  const py::Ref hook = py::Ref::steal(PyCFunction_New(&g_exit_hook, nullptr));
  const py::Ref atexit = py::Ref::steal(PyImport_ImportModule("atexit"));
  py::Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", hook.get()));
}

}  // namespace tavik::arrays
