// Conversions of vrp_qubo_terms: the distance matrix in, the name-keyed QUBO
// dict out.
#pragma once

#include <vector>

#include "bindings/core/result_costs.h"
#include "py/convert.h"
#include "routing/vrp_qubo.h"

namespace tavik::py {

// The augmented distance matrix as read from the caller: its shape always,
// its values (row-major) only while it can still be a square matrix whose
// QUBO fits in memory. Anything larger fails after validation, so reading
// (not copying) the rest keeps a huge or lazily allocated input from being
// copied into memory it cannot fit in.
struct DistanceRows {
  std::size_t rows = 0;
  bool square = true;     // every row has `rows` entries
  bool held = true;       // values holds rows × rows entries
  std::vector<double> values;
};

// A sequence of sequences of floats, with the rules and messages of a list of
// lists. Values are kept only while the matrix can still be a square one
// whose QUBO fits in memory; the rest is read for its conversion errors and
// shape. A matrix that reports itself square and too large (outer length
// equal to the first row's, beyond the limit) fails at once with MemoryError,
// so a lazily allocated giant (a broadcast array, one row repeated) is never
// walked element by element.
template <>
struct Converter<DistanceRows> {
  static DistanceRows from(PyObject* obj) {
    const std::size_t limit = vrp_max_nodes(bindings::kVrpEntryBytes);
    DistanceRows m;
    std::size_t first_length = 0, outer_length = 0;
    bool outer_known = false;
    for_each_item(
        obj,
        [&](PyObject* row) {
          std::size_t length = 0;
          for_each_item(row, [&](PyObject* item) {
            const double value = from_py<double>(item);
            if (m.held && length < limit) m.values.push_back(value);
            ++length;
          });
          if (m.rows == 0) {
            first_length = length;
            if (length > limit && outer_known && outer_length == length) throw std::bad_alloc();
          } else if (length != first_length) {
            m.square = false;
          }
          ++m.rows;
          if (m.held && (length > limit || m.rows > limit)) {
            m.held = false;
            std::vector<double>().swap(m.values);
          }
        },
        [&](std::size_t n) { outer_known = true, outer_length = n; });
    if (first_length != m.rows) m.square = false;
    return m;
  }
};

// A dict {(name_a, name_b): value} in entry order, every key tuple sharing the
// one string object of each name and every value the one float of its value.
template <>
struct Converter<NamedQubo> {
  static Ref to(const NamedQubo& qubo) {
    const std::vector<Ref> names = objects(qubo.names);
    const std::vector<Ref> values = objects(qubo.values);
    Ref dict = Ref::steal(PyDict_New());
    BatchedPoll poll;
    for (const NamedQubo::Entry& e : qubo.entries) {
      poll.step();
      Ref key = Ref::steal(PyTuple_Pack(2, names[e.first].get(), names[e.second].get()));
      // A tuple of two strings can never be part of a reference cycle: the
      // collector would untrack it on its first pass, and doing it now spares
      // each collection during the build a walk over all new keys.
      PyObject_GC_UnTrack(key.get());
      if (PyDict_SetItem(dict.get(), key.get(), values[e.value].get()) < 0) throw_error_already_set();
    }
    return dict;
  }

 private:
  template <class T>
  static std::vector<Ref> objects(const std::vector<T>& items) {
    std::vector<Ref> out;
    out.reserve(items.size());
    for (const T& item : items) out.push_back(to_py(item));
    return out;
  }
};

}  // namespace tavik::py
