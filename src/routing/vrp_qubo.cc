#include "routing/vrp_qubo.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <new>
#include <numeric>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"

namespace tavik {
namespace {

constexpr std::size_t kMaxIndexedNodes = 65'536;  // n² variables must have 32-bit indices

std::size_t entry_count(std::size_t n) {
  if (n <= 2) return n == 2 ? 10 : n;
  return n * n * (2 * n - 1);
}

bool result_fits(std::size_t n, std::size_t result_bytes_per_entry) {
  return fits_in_memory(entry_count(n), 1, sizeof(NamedQubo::Entry) + result_bytes_per_entry);
}

// "x_{i}_{t}" for every variable, by index.
std::vector<std::string> variable_names(std::size_t n) {
  std::vector<std::string> names;
  names.reserve(n * n);
  char buffer[48] = {'x', '_'};
  for (std::size_t i = 0; i < n; ++i) {
    char* node_end = std::to_chars(buffer + 2, std::end(buffer), i).ptr;
    *node_end++ = '_';
    for (std::size_t t = 0; t < n; ++t) {
      char* end = std::to_chars(node_end, std::end(buffer), t).ptr;
      names.emplace_back(buffer, end);
    }
  }
  return names;
}

// Position of each variable when all names are sorted byte-wise.
std::vector<std::uint32_t> name_ranks(const std::vector<std::string>& names) {
  std::vector<std::uint32_t> order(names.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return names[a] < names[b]; });
  std::vector<std::uint32_t> rank(names.size());
  for (std::size_t r = 0; r < order.size(); ++r) rank[order[r]] = static_cast<std::uint32_t>(r);
  return rank;
}

}  // namespace

std::size_t vrp_max_nodes(std::size_t result_bytes_per_entry) noexcept {
  // result_fits is monotonic in n: the largest n that passes, by bisection.
  if (result_fits(kMaxIndexedNodes, result_bytes_per_entry)) return kMaxIndexedNodes;
  std::size_t lo = 2, hi = kMaxIndexedNodes;  // lo fits, hi does not
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    (result_fits(mid, result_bytes_per_entry) ? lo : hi) = mid;
  }
  return lo;
}

// Rather than accumulating contributions in a map and sorting its keys, each
// entry is produced in its final (first, second) place with its accumulated
// value. This is exact because every key receives its contributions from one
// place only:
//   - a linear entry (k, k) gets -A from the node pass, then -A from the
//     position pass: (+0.0 - A) - A;
//   - a node pair (same node, different positions) and a position pair (same
//     position, different nodes) each get 2A once: +0.0 + 2A;
//   - a tour pair joins (u, t) and (v, t + 1 mod n) with u ≠ v. For n ≥ 3 the
//     positions t and t + 1 fix which member is u, so the pair gets B·d_uv
//     once; for n = 2 both orientations meet on the same pair, which gets
//     B·d_01 (u = 0 comes first in the pass) and then B·d_10.
// The three kinds never share a key: node pairs join one node, tour pairs two;
// position pairs join one position, tour pairs two.
NamedQubo vrp_qubo_terms(DistanceView dist, double penalty_a, double penalty_b, std::size_t result_bytes_per_entry) {
  if (!dist.square) throw ValueError("distance matrix must be square");
  const std::size_t n = dist.rows;
  if (n > vrp_max_nodes(result_bytes_per_entry)) throw std::bad_alloc();

  NamedQubo out;
  out.names = variable_names(n);
  const std::vector<std::uint32_t> rank = name_ranks(out.names);
  out.entries.reserve(entry_count(n));

  // The linear value, the constraint-pair value, then one value per ordered
  // node pair (u, v), u ≠ v, for the tour pairs with u first in the tour; the
  // diagonal of dist is never read. tour[n·u + v] is that value's index.
  constexpr std::uint32_t linear = 0, pair = 1;
  std::vector<double>& values = out.values;
  values.reserve(2 + n * n);
  values.push_back((0.0 - penalty_a) - penalty_a);
  values.push_back(0.0 + (penalty_a + penalty_a));
  const double* d = dist.values;
  std::vector<std::uint32_t> tour(n * n);
  for (std::size_t u = 0; u < n; ++u)
    for (std::size_t v = 0; v < n; ++v)
      if (u != v) {
        tour[u * n + v] = static_cast<std::uint32_t>(values.size());
        values.push_back(0.0 + penalty_b * d[u * n + v]);
      }
  if (n == 2) {
    values[tour[1]] = values[tour[1]] + penalty_b * d[2];
    tour[2] = tour[1];
  }

  // For variable (i, t), the partners on another node v sit at positions t
  // (position pair), t + 1 (tour pair, i first) and t - 1 (tour pair, v
  // first); listed by ascending position so entries come out in index order.
  enum Kind : std::uint8_t { kPosition, kNext, kPrev };
  struct Partner {
    std::uint32_t position;
    Kind kind;
  };
  std::vector<std::array<Partner, 3>> partners(n);
  std::vector<std::uint8_t> partner_count(n);
  for (std::size_t t = 0; t < n; ++t) {
    auto& list = partners[t];
    std::size_t count = 0;
    const auto at = [](std::size_t p) { return static_cast<std::uint32_t>(p); };
    list[count++] = {at(t), kPosition};
    if (n >= 2) list[count++] = {at((t + 1) % n), kNext};
    if (n >= 3) list[count++] = {at((t + n - 1) % n), kPrev};
    std::sort(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(count),
              [](const Partner& x, const Partner& y) { return x.position < y.position; });
    partner_count[t] = static_cast<std::uint8_t>(count);
  }

  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t t = 0; t < n; ++t) {
      poll_interrupt(3 * n);
      const auto a = static_cast<std::uint32_t>(n * i + t);
      const std::uint32_t rank_a = rank[a];
      for (std::size_t v = 0; v < n; ++v) {
        const auto base = static_cast<std::uint32_t>(n * v);
        if (v == i) {
          for (std::uint32_t s = 0; s < n; ++s) {
            if (s == t)
              out.entries.push_back({a, a, linear});
            else if (rank_a < rank[base + s])
              out.entries.push_back({a, base + s, pair});
          }
          continue;
        }
        for (std::size_t k = 0; k < partner_count[t]; ++k) {
          const Partner& p = partners[t][k];
          const std::uint32_t b = base + p.position;
          if (rank_a > rank[b]) continue;  // keyed, and emitted, from b's side
          const std::uint32_t value = p.kind == kPosition ? pair : p.kind == kNext ? tour[i * n + v] : tour[v * n + i];
          out.entries.push_back({a, b, value});
        }
      }
    }
  }
  return out;
}

}  // namespace tavik
