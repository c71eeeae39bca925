// The QUBO term as the list face reads and writes it.
#pragma once

#include <vector>

#include "common/qubo.h"
#include "py/callable.h"
#include "py/convert.h"

namespace tavik::py {

// A QUBO term is the nested tuple ((i, j), w).
template <>
struct Converter<QuboTerm> {
  static QuboTerm from(PyObject* obj) {
    auto [ij, w] = from_py<std::tuple<std::tuple<std::uint64_t, std::uint64_t>, double>>(obj);
    return {std::get<0>(ij), std::get<1>(ij), w};
  }
  static Ref to(const QuboTerm& t) {
    return to_py(std::tuple<std::tuple<std::uint64_t, std::uint64_t>, double>{{t.i, t.j}, t.w});
  }
};

// A term list converted into the columns a kernel's QuboView reads.
class QuboColumns {
 public:
  static QuboColumns from(PyObject* obj) {
    QuboColumns out;
    for_each_item(
        obj,
        [&](PyObject* item) {
          const QuboTerm t = from_py<QuboTerm>(item);
          out.rows_.push_back(t.i);
          out.cols_.push_back(t.j);
          out.weights_.push_back(t.w);
        },
        [&](std::size_t n) { out.reserve(n); });
    return out;
  }
  operator QuboView() const { return {rows_, cols_, weights_}; }

 private:
  // A length too large to reserve is still read term by term.
  void reserve(std::size_t n) {
    try {
      rows_.reserve(n);
      cols_.reserve(n);
      weights_.reserve(n);
    } catch (const std::exception&) {
    }
  }

  std::vector<std::uint64_t> rows_, cols_;
  std::vector<double> weights_;
};

// A kernel that reads a term list through a QuboView is handed the columns.
template <>
struct Held<QuboView> {
  using type = QuboColumns;
  static QuboColumns from(PyObject* obj) { return QuboColumns::from(obj); }
};

}  // namespace tavik::py
