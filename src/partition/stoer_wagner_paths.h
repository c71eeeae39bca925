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

// Adjacency lists and a heap: about n(n + m) log n steps, memory in
// proportion to n + m.
Bisection bisect_sparse(EdgeView edges, std::size_t n);

// Whether the lists beat the matrix for n vertices and m edges.
bool prefers_sparse(std::size_t n, std::size_t m);

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

}  // namespace tavik::stoer_wagner
