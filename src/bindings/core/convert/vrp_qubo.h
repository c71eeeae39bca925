// Conversions of vrp_qubo_terms: the distance matrix in, the name-keyed QUBO
// dict out.
#pragma once

#include <vector>

#include "bindings/core/result_costs.h"
#include "py/callable.h"
#include "py/convert.h"
#include "routing/vrp_qubo.h"

namespace tavik::py {

// The distance matrix as read from the caller: its shape always, its values
// (row-major) only while it can still be a square matrix whose QUBO fits in
// memory. Anything larger fails after validation (the kernel's size check
// refuses a square matrix of more rows than are kept), so reading (not
// copying) the rest keeps a huge or lazily allocated input from being copied
// into memory it cannot fit in.
class DistanceRows {
 public:
  // A sequence of sequences of floats, with the rules and messages of a list
  // of lists. A matrix that reports itself square and too large (outer length
  // equal to the first row's, beyond the limit) fails at once with
  // MemoryError, so a lazily allocated giant (a broadcast array, one row
  // repeated) is never walked element by element.
  static DistanceRows read(PyObject* obj) {
    const std::size_t limit = vrp_max_nodes(bindings::kVrpEntryBytes);
    DistanceRows m;
    bool held = true;
    std::size_t first_length = 0, outer_length = 0;
    bool outer_known = false;
    for_each_item(
        obj,
        [&](PyObject* row) {
          std::size_t length = 0;
          for_each_item(row, [&](PyObject* item) {
            const double value = from_py<double>(item);
            if (held && length < limit) m.values_.push_back(value);
            ++length;
          });
          if (m.rows_ == 0) {
            first_length = length;
            if (length > limit && outer_known && outer_length == length) throw std::bad_alloc();
          } else if (length != first_length) {
            m.square_ = false;
          }
          ++m.rows_;
          if (held && (length > limit || m.rows_ > limit)) {
            held = false;
            std::vector<double>().swap(m.values_);
          }
        },
        [&](std::size_t n) { outer_known = true, outer_length = n; });
    if (first_length != m.rows_) m.square_ = false;
    return m;
  }

  operator DistanceView() const { return {values_.data(), rows_, square_}; }

 private:
  std::size_t rows_ = 0;
  bool square_ = true;  // every row has `rows_` entries
  std::vector<double> values_;
};

template <>
struct Held<DistanceView> {
  using type = DistanceRows;
  static type from(PyObject* obj) { return DistanceRows::read(obj); }
};

// A dict {(name_a, name_b): value} in entry order, every key tuple sharing the
// one string object of each name and every value the one float of its value.
template <>
struct Converter<VrpQubo> {
  static Ref to(const VrpQubo& qubo) {
    const std::vector<Ref> names = objects(qubo.names());
    const std::vector<Ref> values = objects(qubo.values());
    std::vector<VrpQubo::Entry> row(qubo.max_row_entries());
    Ref dict = Ref::steal(PyDict_New());
    BatchedPoll poll;
    for (std::uint32_t first = 0; first < qubo.variables(); ++first) {
      const std::size_t count = qubo.row(first, row);
      for (std::size_t k = 0; k < count; ++k) {
        poll.step();
        Ref key = Ref::steal(PyTuple_Pack(2, names[first].get(), names[row[k].second].get()));
        // A tuple of two strings can never be part of a reference cycle: the
        // collector would untrack it on its first pass, and doing it now spares
        // each collection during the build a walk over all new keys.
        PyObject_GC_UnTrack(key.get());
        if (PyDict_SetItem(dict.get(), key.get(), values[row[k].value].get()) < 0) throw_error_already_set();
      }
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
