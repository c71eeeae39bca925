// A corrected coupling list: a list of ((i, j), J) tuples, possibly long,
// built with the cyclic collector paused (gc_pause.h).
#pragma once

#include "delta.h"
#include "py/convert.h"
#include "py/gc_pause.h"

namespace tavik::py {

template <>
struct Converter<CouplingList> {
  static Ref to(const CouplingList& list) {
    GcPause pause;
    return to_py(list.terms);
  }
};

}  // namespace tavik::py
