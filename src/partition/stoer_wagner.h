// Two-way split of a weighted undirected graph along a global minimum cut
// (Stoer–Wagner), with every choice the textbook leaves open fixed so that
// the result is reproducible bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

namespace tavik {

// Undirected edges as three columns: edge k joins first[k] and second[k]
// with weights[k]. Parallel edges sum, self-loops count for nothing.
struct EdgeView {
  std::span<const std::uint64_t> first;
  std::span<const std::uint64_t> second;
  std::span<const double> weights;

  std::size_t size() const { return weights.size(); }
};

struct Bisection {
  double cut_weight;
  // The side holding the last vertex t of the winning phase: t first, then
  // the vertices merged into t in merge order. Not sorted.
  std::vector<std::uint64_t> side;
  auto as_tuple() const { return std::tie(cut_weight, side); }
};

// n_nodes - 1 minimum-cut phases, on a matrix or on adjacency lists by
// density (the same bits either way). Each phase starts at the
// lowest active vertex, grows by maximum tightness (strictly greater wins, so
// ties go to the lowest index and NaN is never chosen), recomputes the cut of
// its last vertex in ascending order and merges its last two vertices; the
// first phase with the smallest cut wins.
//
// ValueError for n_nodes < 2 (before any edge is read) and when no phase cut
// is below +inf; a broken input rule (InputError) for an endpoint >= n_nodes
// (input order, i before j); Panic when no vertex can be selected (NaN or
// -inf tightness), and at
// the 32-bit node and edge limits of the edge store. MemoryError when the
// matrix or the lists cannot fit in the memory the process may use.
Bisection stoer_wagner_bisect(EdgeView edges, std::uint64_t n_nodes);

}  // namespace tavik
