// Reads of a few core objects without a call into the interpreter.
//
// The stable ABI offers an int's value, a tuple's items and a float's value
// only through functions, and a list of a hundred thousand ((i, j), w) terms
// makes half a million such calls. The objects involved have kept the same
// layout for decades, so each reader here checks that layout once, on real
// objects, when first used, and reads in place only if the check passed;
// otherwise it falls back to the function. Only exact types are read in place,
// and nothing is ever written.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "py/ref.h"

namespace tavik::py::fast {

// What the probes found. All false (every read goes through the interpreter)
// until probe() has run, which module initialisation does first.
struct Layout {
  bool tuple_items = false;  // an exact tuple's items follow its PyVarObject header
  bool float_value = false;  // an exact float's double follows its PyObject header
  // The interned ints 0..256, if they lie at equal power-of-two strides.
  std::uintptr_t int_base = 0, int_mask = 0, int_limit = 0;
  unsigned int_shift = 0;
};

inline Layout layout;

// Checks the layouts on real objects and records what may be read in place.
void probe();

// Item i (in range) of a tuple, as a borrowed reference.
inline PyObject* tuple_item(PyObject* tuple, Py_ssize_t i) {
  if (PyTuple_CheckExact(tuple) && layout.tuple_items) {
    PyObject* item;
    std::memcpy(&item, reinterpret_cast<const char*>(tuple) + sizeof(PyVarObject) + i * sizeof(PyObject*),
                sizeof item);
    return item;
  }
  return PyTuple_GetItem(tuple, i);
}

// The value of an exact float, if it can be read in place.
inline bool float_value(PyObject* obj, double& value) {
  if (!PyFloat_CheckExact(obj) || !layout.float_value) return false;
  std::memcpy(&value, reinterpret_cast<const char*>(obj) + sizeof(PyObject), sizeof value);
  return true;
}

// The value of one of the interned ints 0..256, recognised by its address.
inline bool small_int(PyObject* obj, std::uint64_t& value) {
  const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(obj) - layout.int_base;
  if (offset >= layout.int_limit || (offset & layout.int_mask) != 0) return false;
  value = offset >> layout.int_shift;
  return true;
}

}  // namespace tavik::py::fast
