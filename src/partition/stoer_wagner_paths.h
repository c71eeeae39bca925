// The two representations behind stoer_wagner_bisect. Both take checked
// input (2 <= n < 2^32, every endpoint below n, fewer than 2^32 edges) and
// give the same bits and the same errors; which one runs is a matter of time
// and memory only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "partition/stoer_wagner.h"

namespace tavik::stoer_wagner {

// An n × n matrix: n³ steps, 8n² bytes, fastest on dense graphs.
Bisection bisect_dense(EdgeView edges, std::size_t n);

// Whether the lists beat the matrix for n vertices and m edges.
bool prefers_sparse(std::size_t n, std::size_t m);

// Adjacency lists and a heap: about n(n + m) log n steps, memory in
// proportion to n + m. Contraction makes the graph denser; the lists hand
// over to the matrix once `use_lists(live vertices, edges)` says no and the
// matrix fits.
Bisection bisect_sparse(EdgeView edges, std::size_t n, bool (*use_lists)(std::size_t, std::size_t) = prefers_sparse);

// Whether the matrix for n vertices fits in the memory the process may use.
bool matrix_fits(std::size_t n);

// An edge as its end's list holds it.
struct Entry {
  std::uint32_t to;
  double weight;
};
// Ascending by `to`; never holds its own vertex or a merged-away one.
using List = std::vector<Entry>;

inline constexpr const char* kNoCandidate = "a candidate remains while n_in_a < active_count";

// The vertices merged into each vertex, in merge order, as linked lists over
// vertices: the group of v starts at v.
class Groups {
 public:
  explicit Groups(std::size_t n) : next_(n, kEnd), tail_(n) {
    for (std::size_t v = 0; v < n; ++v) tail_[v] = static_cast<std::uint32_t>(v);
  }

  // Appends t's group to s's.
  void join(std::uint32_t s, std::uint32_t t) {
    next_[tail_[s]] = t;
    tail_[s] = tail_[t];
  }

  void list(std::uint32_t v, std::vector<std::uint64_t>& out) const {
    out.clear();
    for (; v != kEnd; v = next_[v]) out.push_back(v);
  }

 private:
  static constexpr std::uint32_t kEnd = 0xFFFF'FFFF;
  std::vector<std::uint32_t> next_, tail_;
};

// Carries on, on the matrix, a contraction the lists began: `live` holds the
// vertices left (ascending), `adj` their lists (by vertex); `groups` and
// `best` are as the phases so far left them.
Bisection finish_dense(const std::vector<List>& adj, std::vector<std::uint32_t> live, Groups groups, Bisection best);

}  // namespace tavik::stoer_wagner
