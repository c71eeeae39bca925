// Pauses the interpreter's cyclic garbage collector while a large result of
// acyclic objects (tuples of numbers) is built: those objects can never be
// part of a cycle, yet each batch of allocations would set off a collection
// that walks the whole heap again. The previous state is restored on exit.
#pragma once

#include "py/ref.h"

namespace tavik::py {

class GcPause {
 public:
  GcPause() : was_enabled_(PyGC_Disable()) {}
  ~GcPause() {
    if (was_enabled_) PyGC_Enable();
  }
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;

 private:
  int was_enabled_;
};

}  // namespace tavik::py
