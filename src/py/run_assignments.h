// Noisy-run assignments become a list of lists of ints, one list per run.
// Every entry is one of 256 small ints, so each is converted once per call
// and then shared.
#pragma once

#include <array>

#include "py/convert.h"
#include "validator.h"

namespace tavik::py {

template <>
struct Converter<RunAssignments> {
  static Ref to(const RunAssignments& runs) {
    std::array<Ref, 256> ints;
    for (std::size_t v = 0; v < ints.size(); ++v) ints[v] = to_py(static_cast<std::uint8_t>(v));
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(runs.runs)));
    const std::uint8_t* bits = runs.bits.data();
    for (std::size_t k = 0; k < runs.runs; ++k) {
      PyObject* row = PyList_New(static_cast<Py_ssize_t>(runs.n));
      if (row == nullptr) throw_error_already_set();
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), row);
      for (std::size_t v = 0; v < runs.n; ++v) {
        PyObject* item = ints[*bits++].get();
        Py_INCREF(item);
        PyList_SetItem(row, static_cast<Py_ssize_t>(v), item);
      }
    }
    return list;
  }
};

}  // namespace tavik::py
