#include "routing/vrp_qubo.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <numeric>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"

namespace tavik {
namespace {

constexpr std::size_t kMaxIndexedNodes = 65'536;  // n² variables must have 32-bit indices

// The kernel's own tables per variable (its name, rank, sort slot, tour
// index and value), counted per entry: every variable of n ≥ 3 nodes is
// first in at least 2n - 1 ≥ 5 entries, so 12 bytes per entry covers them.
constexpr std::size_t kTableBytesPerEntry = 12;

std::size_t entry_count(std::size_t n) {
  if (n <= 2) return n == 2 ? 10 : n;
  return n * n * (2 * n - 1);
}

bool result_fits(std::size_t n, std::size_t result_bytes_per_entry) {
  return fits_in_memory(entry_count(n), 1, kTableBytesPerEntry + result_bytes_per_entry);
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

// The linear value and the constraint-pair value lead values().
constexpr std::uint32_t kLinear = 0, kPair = 1;

}  // namespace

std::size_t vrp_nodes(DistanceView dist) {
  if (!dist.square) throw ValueError("distance matrix must be square");
  return dist.rows;
}

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
VrpQubo::VrpQubo(DistanceView dist, double penalty_a, double penalty_b) : n_(vrp_nodes(dist)) {
  if (n_ > kMaxIndexedNodes) throw std::bad_alloc();
  require_memory(entry_count(n_), 1, kTableBytesPerEntry);
  const std::size_t n = n_;
  names_ = variable_names(n);
  rank_ = name_ranks(names_);

  // One value per ordered node pair (u, v), u ≠ v, for the tour pairs with u
  // first in the tour; the diagonal of dist is never read.
  values_.reserve(2 + n * n);
  values_.push_back((0.0 - penalty_a) - penalty_a);
  values_.push_back(0.0 + (penalty_a + penalty_a));
  const double* d = dist.values;
  tour_.resize(n * n);
  for (std::size_t u = 0; u < n; ++u)
    for (std::size_t v = 0; v < n; ++v)
      if (u != v) {
        tour_[u * n + v] = static_cast<std::uint32_t>(values_.size());
        values_.push_back(0.0 + penalty_b * d[u * n + v]);
      }
  if (n == 2) {
    values_[tour_[1]] = values_[tour_[1]] + penalty_b * d[2];
    tour_[2] = tour_[1];
  }

  // Listed by ascending position so that rows come out in index order.
  partners_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    Partners& p = partners_[t];
    const auto at = [](std::size_t position) { return static_cast<std::uint32_t>(position); };
    p.count = 0;
    p.list[p.count++] = {at(t), kPosition};
    if (n >= 2) p.list[p.count++] = {at((t + 1) % n), kNext};
    if (n >= 3) p.list[p.count++] = {at((t + n - 1) % n), kPrev};
    std::sort(p.list, p.list + p.count, [](const Partner& x, const Partner& y) { return x.position < y.position; });
  }
}

std::size_t VrpQubo::row(std::uint32_t first, std::span<Entry> out) const {
  const std::size_t n = n_;
  const std::size_t i = first / n, t = first % n;
  const std::uint32_t rank_a = rank_[first];
  std::size_t count = 0;
  for (std::size_t v = 0; v < n; ++v) {
    const auto base = static_cast<std::uint32_t>(n * v);
    if (v == i) {
      for (std::uint32_t s = 0; s < n; ++s) {
        if (s == t)
          out[count++] = {first, kLinear};
        else if (rank_a < rank_[base + s])
          out[count++] = {base + s, kPair};
      }
      continue;
    }
    const Partners& partners = partners_[t];
    for (std::size_t k = 0; k < partners.count; ++k) {
      const Partner& p = partners.list[k];
      const std::uint32_t b = base + p.position;
      if (rank_a > rank_[b]) continue;  // keyed from b's side
      out[count++] = {b, p.kind == kPosition ? kPair : p.kind == kNext ? tour_[i * n + v] : tour_[v * n + i]};
    }
  }
  return count;
}

void VrpQubo::fill_matrix(std::span<double> q, pool::Threads threads) const {
  const std::size_t size = variables();
  const auto fill_rows = [&](std::size_t begin, std::size_t end) {
    std::vector<Entry> entries(max_row_entries());
    for (std::size_t a = begin; a < end; ++a) {
      poll_interrupt(size);
      double* out = q.data() + a * size;
      const std::size_t count = row(static_cast<std::uint32_t>(a), entries);
      for (std::size_t k = 0; k < count; ++k) out[entries[k].second] = values_[entries[k].value];
    }
  };
  // Chunks of at least 2^16 elements: a job per tiny row would cost more than the row.
  pool::parallel_for(threads, size, std::max<std::size_t>(1, (std::size_t{1} << 16) / std::max<std::size_t>(1, size)),
                     fill_rows);
}

}  // namespace tavik
