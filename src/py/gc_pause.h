// Pauses the interpreter's cyclic garbage collector while a result is built
// (callable.h): results are trees of new containers that can never be part of
// a cycle, yet each batch of allocations would set off a collection that
// walks all of them again. The previous state is restored on exit.
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
