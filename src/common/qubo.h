// The QUBO term shared by every kernel that takes a term list.
#pragma once

#include <cstdint>

namespace tavik {

// w·x_i·x_j; i == j is a linear term. Terms keep the caller's order and
// duplicates, and both orientations of a pair all count.
struct QuboTerm {
  std::uint64_t i;
  std::uint64_t j;
  double w;
};

}  // namespace tavik
