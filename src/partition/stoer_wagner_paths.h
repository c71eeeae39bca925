// The contraction behind stoer_wagner_bisect. It takes checked input
// (2 <= n < 2^32, every endpoint below n, fewer than 2^32 edges).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "partition/stoer_wagner.h"

namespace tavik::stoer_wagner {

// An n × n matrix: n³ steps, 8n² bytes, fastest on dense graphs.
Bisection bisect_dense(EdgeView edges, std::size_t n);

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
