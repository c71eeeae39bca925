#include "arrays/unlocked.h"

#include "py/translate.h"

namespace tavik::arrays {
namespace {

// The thread state this thread gave up, for the stop check to borrow it back.
thread_local PyThreadState* t_saved = nullptr;

bool signal_handler_raised_unlocked() {
  PyEval_RestoreThread(t_saved);
  const bool raised = py::signal_handler_raised();
  t_saved = PyEval_SaveThread();
  return raised;
}

}  // namespace

Unlocked::Unlocked() : saved_(t_saved), stop_(&signal_handler_raised_unlocked) { t_saved = PyEval_SaveThread(); }

Unlocked::~Unlocked() {
  PyEval_RestoreThread(t_saved);
  t_saved = saved_;
}

}  // namespace tavik::arrays
