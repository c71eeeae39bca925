// A statevector becomes a list of (re, im) float tuples. At 24 qubits that
// is 16.7 million tuples, so the conversion avoids what it can:
//  - the tuples hold only floats and cannot take part in a reference cycle,
//    so they are untracked by the cyclic collector at once (the interpreter
//    would otherwise traverse all of them in its next collections);
//  - amplitudes that are exactly (+0.0, +0.0) share one tuple, which makes
//    sparse states cheap. Tuples and floats are immutable, so sharing is
//    invisible to callers.
#pragma once

#include <bit>
#include <cstdint>

#include "py/convert.h"
#include "sim/statevector.h"

namespace tavik::py {

template <>
struct Converter<sim::StateVector> {
  static Ref to(const sim::StateVector& state) {
    const auto len = static_cast<Py_ssize_t>(state.size());
    Ref list = Ref::steal(PyList_New(len));
    Ref zero = pair(0.0, 0.0);
    const sim::Amplitude* a = state.data();
    BatchedPoll poll;
    for (Py_ssize_t i = 0; i < len; ++i) {
      poll.step();
      PyObject* item;
      if ((std::bit_cast<std::uint64_t>(a[i].re) | std::bit_cast<std::uint64_t>(a[i].im)) == 0) {
        item = Ref::borrow(zero.get()).release();
      } else {
        item = pair(a[i].re, a[i].im).release();
      }
      PyList_SetItem(list.get(), i, item);
    }
    return list;
  }

 private:
  // A new untracked (re, im) tuple.
  static Ref pair(double re, double im) {
    Ref a = Ref::steal(PyFloat_FromDouble(re));
    Ref b = Ref::steal(PyFloat_FromDouble(im));
    Ref tuple = Ref::steal(PyTuple_New(2));
    PyTuple_SetItem(tuple.get(), 0, a.release());
    PyTuple_SetItem(tuple.get(), 1, b.release());
    PyObject_GC_UnTrack(tuple.get());
    return tuple;
  }
};

}  // namespace tavik::py
