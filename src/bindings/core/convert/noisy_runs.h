// Noisy-run assignments become a list of lists of ints, one list per run.
//
// A run differs from its base assignment (or from the base's complement) in
// a fraction of its entries that the noise level sets, so each row is made
// as a copy of a prepared tuple of the nearer of the two, a bulk operation,
// and only the entries that differ are then replaced one by one.
#pragma once

#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

#include "py/convert.h"
#include "validation/noisy_runs.h"

namespace tavik::py {

// The runs with the base assignment they were drawn from.
struct RunRows {
  const RunAssignments& runs;
  const std::vector<std::uint8_t>& base;
};

// simulate_qubo_runs' (assignments, energies), keeping the base for the rows.
struct NoisyRunsResult {
  NoisyRuns result;
  std::vector<std::uint8_t> base;
  auto as_tuple() const {
    return std::tuple<RunRows, const std::vector<double>&>{{result.assignments, base}, result.energies};
  }
};

template <>
struct Converter<RunRows> {
  static Ref to(const RunRows& rows) {
    const RunAssignments& runs = rows.runs;
    const std::vector<std::uint8_t>& base = rows.base;
    std::array<Ref, 256> ints;
    for (std::size_t v = 0; v < ints.size(); ++v) ints[v] = to_py(static_cast<std::uint8_t>(v));

    std::vector<std::uint8_t> complement(base.size());
    for (std::size_t v = 0; v < complement.size(); ++v) complement[v] = static_cast<std::uint8_t>(1 - base[v]);
    const std::vector<std::uint8_t>* prototypes[2] = {&base, &complement};
    Ref tuples[2];

    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(runs.runs)));
    BatchedPoll poll;
    for (std::size_t k = 0; k < runs.runs; ++k) {
      poll.step(runs.n + 1);
      const std::uint8_t* row = runs.bits.data() + k * runs.n;
      std::size_t differ = 0;
      for (std::size_t v = 0; v < runs.n; ++v) differ += row[v] != base[v];
      const int nearer = differ * 2 > runs.n ? 1 : 0;
      if (!tuples[nearer]) tuples[nearer] = tuple_of(*prototypes[nearer], ints);
      const std::uint8_t* prototype = prototypes[nearer]->data();

      PyObject* item = PySequence_List(tuples[nearer].get());
      if (item == nullptr) throw_error_already_set();
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);
      for (std::size_t v = 0; v < runs.n; ++v) {
        if (row[v] == prototype[v]) continue;
        PyObject* value = ints[row[v]].get();
        Py_INCREF(value);
        PyList_SetItem(item, static_cast<Py_ssize_t>(v), value);
      }
    }
    return list;
  }

 private:
  static Ref tuple_of(const std::vector<std::uint8_t>& values, const std::array<Ref, 256>& ints) {
    Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t v = 0; v < values.size(); ++v) {
      PyObject* value = ints[values[v]].get();
      Py_INCREF(value);
      PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(v), value);
    }
    return tuple;
  }
};

}  // namespace tavik::py
