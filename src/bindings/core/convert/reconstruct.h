// A measured histogram: a dict of bitstring (str) -> count (non-negative
// 64-bit int), converted in the dict's order into one packed buffer.
#pragma once

#include <string>

#include "cutting/reconstruct.h"
#include "py/convert.h"

namespace tavik::py {

template <>
struct Converter<cutting::Histogram> {
  static cutting::Histogram from(PyObject* obj) {
    if (!PyDict_Check(obj)) raise_cannot_convert(obj, "PyDict");
    // Walking the dict in place is safe while no Python code can run, which
    // holds as long as every count is an exact int; otherwise (an __index__
    // could change the dict) start over from a snapshot of its items.
    cutting::Histogram::Builder direct;
    direct.reserve(static_cast<std::size_t>(PyDict_Size(obj)), 0);
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    bool in_place = true;
    while (PyDict_Next(obj, &pos, &key, &value)) {
      if (!PyLong_CheckExact(value)) {
        in_place = false;
        break;
      }
      const std::string bitstring = from_py<std::string>(key);
      direct.add(bitstring, from_py<std::uint64_t>(value));
    }
    if (in_place) return std::move(direct).build();

    cutting::Histogram::Builder snapshot;
    Ref items = Ref::steal(PyDict_Items(obj));
    const Py_ssize_t n = PyList_Size(items.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* item = PyList_GetItem(items.get(), i);
      const std::string bitstring = from_py<std::string>(PyTuple_GetItem(item, 0));
      snapshot.add(bitstring, from_py<std::uint64_t>(PyTuple_GetItem(item, 1)));
    }
    return std::move(snapshot).build();
  }

  static Ref to(const cutting::Histogram& histogram) {
    Ref dict = Ref::steal(PyDict_New());
    for (std::size_t k = 0; k < histogram.size(); ++k) {
      const std::string_view bitstring = histogram.key(k);
      Ref key = Ref::steal(PyUnicode_FromStringAndSize(bitstring.data(), static_cast<Py_ssize_t>(bitstring.size())));
      Ref count = to_py(histogram.count(k));
      if (PyDict_SetItem(dict.get(), key.get(), count.get()) < 0) throw_error_already_set();
    }
    return dict;
  }
};

}  // namespace tavik::py
