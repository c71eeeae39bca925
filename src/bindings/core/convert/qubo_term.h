// The QUBO term as the list face reads and writes it.
#pragma once

#include "common/qubo.h"
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

}  // namespace tavik::py
