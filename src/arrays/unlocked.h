// Kernels run with the interpreter lock released, so that other Python
// threads run meanwhile and calls from several threads run at once.
#pragma once

#include "common/interrupt.h"
#include "py/ref.h"

namespace tavik::arrays {

// Releases the lock for its scope. A kernel's polls still answer Ctrl-C:
// the stop check takes the lock back for a moment to run the signal
// handlers that are due. Nothing inside may touch a Python object.
class Unlocked {
 public:
  Unlocked();
  ~Unlocked();
  Unlocked(const Unlocked&) = delete;
  Unlocked& operator=(const Unlocked&) = delete;

 private:
  PyThreadState* saved_;
  StopCheckScope stop_;
};

// Registers the exit hook after which no thread asks for the lock back
// (unlocked.cc); called once, as the module initialises.
void park_at_exit();

}  // namespace tavik::arrays
