// A corrected coupling list: a list of ((i, j), J) tuples.
#pragma once

#include "analog/corrections.h"
#include "py/convert.h"

namespace tavik::py {

template <>
struct Converter<CouplingList> {
  static Ref to(const CouplingList& list) {
    return to_py(list.terms);
  }
};

}  // namespace tavik::py
