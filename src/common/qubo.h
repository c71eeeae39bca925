// The QUBO term shared by every kernel that takes a term list, and the view
// through which kernels read a term list in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik {

// w·x_i·x_j; i == j is a linear term. Terms keep the caller's order and
// duplicates, and both orientations of a pair all count.
struct QuboTerm {
  std::uint64_t i;
  std::uint64_t j;
  double w;
};

// A term list as three columns of equal length, term k being
// (rows[k], cols[k], weights[k]): the layout of a COO matrix, so arrays are
// read where they lie.
struct QuboView {
  std::span<const std::uint64_t> rows;
  std::span<const std::uint64_t> cols;
  std::span<const double> weights;

  std::size_t size() const { return weights.size(); }
  bool empty() const { return weights.empty(); }
  QuboTerm operator[](std::size_t k) const { return {rows[k], cols[k], weights[k]}; }
};

}  // namespace tavik
