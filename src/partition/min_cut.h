// The exact global minimum cut of a graph with non-negative weights, and a
// side that attains it, found by contracting edges that provably cross no
// minimum cut the search still needs. Unlike stoer_wagner_bisect, whose
// phases and tie rules are fixed, nothing here prescribes the order of the
// work: only the value is fixed (the cut's exact weight, correctly rounded),
// and the side is the same on every run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "partition/stoer_wagner.h"
#include "pool/pool.h"

namespace tavik::min_cut {

// The exact sum of finite non-negative doubles, rounded once to the nearest
// double (ties to even): the same bits in any order of the terms. The sum is
// held as a fixed-point number whose lowest bit is 2^-1074, in 32-bit digits
// kept in 64-bit words so that carries wait until many terms have come.
class ExactSum {
 public:
  void add(double term);
  double rounded() const;
  // The exact sums compared: negative, zero or positive.
  friend int compare(const ExactSum& a, const ExactSum& b);

 private:
  static constexpr std::size_t kDigits = 68;  // bits 0 .. 2175 > 2098 + carry room
  void normalise() const;
  mutable std::array<std::uint64_t, kDigits> digits_{};
  mutable std::uint32_t pending_ = 0;  // terms added since the last carry pass
};

struct Cut {
  // The weight of the edges that join `side` to the other nodes, summed
  // exactly (ExactSum) over the input edges, parallel ones included.
  double value;
  // One part, ascending: the smaller one, and of two equal parts the one
  // without node 0. A disconnected graph's side is its smallest component
  // (of equal ones, the one whose lowest node is lowest), and value 0.
  std::vector<std::uint64_t> side;
};

// Throws before any work: ValueError for n_nodes < 2 or past the 32-bit node
// and edge limits, for a weight that is negative, NaN or infinite
// ("weights[k] ..."), or whose sum overflows; an input rule (InputError) for
// an endpoint >= n_nodes, as for stoer_wagner_bisect. MemoryError when the
// work space cannot fit. Self-loops count for nothing, parallel edges add up.
// The same cut on any number of threads.
Cut minimum_cut(EdgeView edges, std::uint64_t n_nodes, pool::Threads threads);

}  // namespace tavik::min_cut
