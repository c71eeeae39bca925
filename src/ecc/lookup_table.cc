#include "ecc/lookup_table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "platform/simd.h"

namespace tavik::ecc {
namespace {

// Packed keys. A preference key (below) holds a weight of at most n above an
// n-bit counter; a failure key a syndrome number of at most n bits above one
// parity bit. Both stay below kEmpty, which marks a table entry not filled.
constexpr std::uint32_t kEmpty = ~std::uint32_t{0};
static_assert(std::bit_width(kMaxDataQubits) + kMaxDataQubits < 32, "preference keys fit below kEmpty");
static_assert(kMaxDataQubits + 1 < 32, "failure keys fit in 32 bits");
static_assert(kMaxStabilizers <= 32, "a syndrome fits in 32 bits");

constexpr std::uint64_t kCachedEntries = std::uint64_t{1} << 16;  // a table that stays in a core's cache
// The least budget of the weight-ordered walk, so that a tiny code, whose
// fraction of the coset walk is a handful of patterns, still tries it.
constexpr std::uint64_t kMinWeightBudget = 64;
// The coset walk looks pivot patterns up by the low and the high bits of a
// syndrome number; 2^12 low numbers make a row of 16 KiB keys, which stays
// in the first-level cache while the high numbers stream past it.
constexpr unsigned kPivotLowBits = 12;

// The XOR of per-bit values over the set bits of a word: tables over its low
// and its high bits, so any word costs two lookups.
class SplitXor {
 public:
  SplitXor(const std::vector<std::uint32_t>& values, unsigned low_bits)
      : low_bits_(low_bits),
        low_(subset_xors(values.data(), low_bits)),
        high_(subset_xors(values.data() + low_bits, static_cast<unsigned>(values.size()) - low_bits)) {}

  std::uint32_t operator()(std::uint64_t word) const { return low(word & (low_.size() - 1)) ^ high(word >> low_bits_); }
  std::uint32_t low(std::uint64_t bits) const { return low_[bits]; }
  std::uint32_t high(std::uint64_t bits) const { return high_[bits]; }

 private:
  unsigned low_bits_;
  std::vector<std::uint32_t> low_, high_;
};

// The next larger word with the same number of set bits.
inline std::uint64_t next_combination(std::uint64_t v) {
  const std::uint64_t t = v | (v - 1);
  return (t + 1) | (((~t & (t + 1)) - 1) >> (std::countr_zero(v) + 1));
}

// The low n bits of k in reverse order.
inline std::uint32_t reverse_bits(std::uint32_t k, unsigned n) {
  k = (k >> 1 & 0x55555555u) | (k & 0x55555555u) << 1;
  k = (k >> 2 & 0x33333333u) | (k & 0x33333333u) << 2;
  k = (k >> 4 & 0x0F0F0F0Fu) | (k & 0x0F0F0F0Fu) << 4;
  k = __builtin_bswap32(k);
  return n == 0 ? 0 : k >> (32 - n);
}

// The decoder's order of preference, as one integer: a candidate's weight
// above its counter, the counter holding qubit q at bit n−1−q. The defining
// walk visits counters in ascending order and keeps the first pattern of
// strictly smallest weight, which is the pattern of smallest key.
inline std::uint32_t preference(std::uint32_t counter, unsigned n) {
  return static_cast<std::uint32_t>(std::popcount(counter)) << n | counter;
}

// Fills keys[number] with the smallest key of its syndrome by visiting the
// patterns weight by weight, each weight in ascending counter order: the first
// pattern to reach an entry is its winner, and the walk can stop as soon as
// every entry has one. That is quick when the corrections are light, as for a
// good code; it gives up (returning false, with the entries it filled final)
// after `budget` patterns.
bool walk_by_weight(const SyndromeSpace& space, unsigned n, std::uint64_t budget, std::vector<std::uint32_t>& keys) {
  std::vector<std::uint32_t> counter_columns(n);
  for (unsigned b = 0; b < n; ++b) counter_columns[b] = space.column(n - 1 - b);
  const SplitXor number_of(counter_columns, (n + 1) / 2);

  keys[0] = 0;  // the empty pattern
  std::uint64_t filled = 1;
  const std::uint64_t end = std::uint64_t{1} << n;
  BatchedPoll poll;
  for (unsigned w = 1; w <= n && filled < keys.size(); ++w) {
    for (std::uint64_t k = (std::uint64_t{1} << w) - 1; k < end; k = next_combination(k)) {
      if (budget-- == 0) return false;
      poll.step();
      std::uint32_t& entry = keys[number_of(k)];
      if (entry != kEmpty) continue;
      entry = preference(static_cast<std::uint32_t>(k), n);
      if (++filled == keys.size()) return true;
    }
  }
  return filled == keys.size();
}

// Row minimum: keys[j] = min(keys[j], low[j] + high) — a key plus the key of
// a disjoint set of qubits is the key of their union.
template <class Isa>
[[gnu::always_inline]] inline void merge_row_lanes(std::uint32_t* keys, const std::uint32_t* low, std::size_t count,
                                                   std::uint32_t high) {
  for (std::size_t j = 0; j < count; ++j) keys[j] = std::min(keys[j], low[j] + high);
}
TAVIK_SIMD_DISPATCH(merge_row, merge_row_lanes)

// Fills keys[number] with the smallest key of its syndrome by visiting every
// pattern once, coset by coset: a pattern is a choice b over the non-pivot
// qubits plus the one pattern over the pivot qubits that completes the
// syndrome. Costs 2^n vectorised steps whatever the code. Each row of high
// numbers takes only the minimum over every coset, so the rows are split
// among the threads, each walking all cosets over its own rows.
void walk_by_coset(const SyndromeSpace& space, unsigned n, std::vector<std::uint32_t>& keys,
                   pool::Threads threads) {
  const std::vector<unsigned>& pivots = space.pivot_qubits();
  const unsigned r = space.rank();
  std::vector<bool> is_pivot(n, false);
  for (unsigned q : pivots) is_pivot[q] = true;
  std::vector<unsigned> others;
  for (unsigned q = 0; q < n; ++q)
    if (!is_pivot[q]) others.push_back(q);

  // Pivot qubit i carries number 2^i: the pivot pattern of number t has them
  // at the set bits of t. Low and high halves of t are looked up separately.
  const unsigned low_bits = std::min(r, kPivotLowBits);
  std::vector<std::uint32_t> pivot_counters(r);
  for (unsigned i = 0; i < r; ++i) pivot_counters[i] = std::uint32_t{1} << (n - 1 - pivots[i]);
  const SplitXor pivot_pattern(pivot_counters, low_bits);
  const std::size_t low_count = std::size_t{1} << low_bits;
  const std::size_t high_count = std::size_t{1} << (r - low_bits);

  // A thread redoes the row of low keys for every coset: with this many rows
  // each, that is at most an eighth more work.
  constexpr std::size_t kRowsPerThread = 8;
  pool::parallel_for(threads, high_count, kRowsPerThread, [&](std::size_t first_row, std::size_t last_row) {
    std::vector<std::uint32_t> low_keys(low_count);
    std::uint32_t free_number = 0, free_counter = 0;
    BatchedPoll poll;
    for (std::uint64_t g = 0; g < std::uint64_t{1} << others.size(); ++g) {
      if (g != 0) {  // Gray-code step: one free qubit changes
        const unsigned q = others[static_cast<unsigned>(std::countr_zero(g))];
        free_number ^= space.column(q);
        free_counter ^= std::uint32_t{1} << (n - 1 - q);
      }
      // Syndrome number s is reached by the pivot pattern of s ^ free_number.
      const std::uint32_t c_low = free_number & static_cast<std::uint32_t>(low_count - 1);
      const std::uint32_t c_high = free_number >> low_bits;
      for (std::size_t j = 0; j < low_count; ++j) low_keys[j] = preference(pivot_pattern.low(j ^ c_low), n);
      for (std::size_t h = first_row; h < last_row; ++h) {
        poll.step(low_count);  // by row: a code of full rank has one coset, all of the work
        const std::uint32_t rest = pivot_pattern.high(h ^ c_high) | free_counter;
        merge_row(keys.data() + h * low_count, low_keys.data(), low_count, preference(rest, n));
      }
    }
  });
}

}  // namespace

// The XOR of values[i] over the set bits i of x, for every x below 2^count:
// each entry is an earlier one with its lowest bit's value added.
std::vector<std::uint32_t> subset_xors(const std::uint32_t* values, unsigned count) {
  std::vector<std::uint32_t> t(std::size_t{1} << count);
  for (std::size_t x = 1; x < t.size(); ++x) t[x] = t[x & (x - 1)] ^ values[std::countr_zero(x)];
  return t;
}

std::uint64_t support_mask(std::span<const std::uint64_t> support, std::uint64_t n_data, std::string_view argument,
                           std::optional<std::size_t> item) {
  std::uint64_t mask = 0;
  for (std::size_t k = 0; k < support.size(); ++k) {
    const std::uint64_t q = support[k];
    if (q >= n_data)
      throw InputError({InputRule::support_qubit, argument, {}, item.value_or(k), q, n_data, "n_data", {}},
                       std::source_location::current());
    mask |= std::uint64_t{1} << q;
  }
  return mask;
}

std::vector<std::uint64_t> stabilizer_masks(std::uint64_t n_data, SupportRows stabilizers) {
  if (n_data > kMaxDataQubits) throw SizeViolation("lookup decoding requires n_data <= 26");
  if (stabilizers.size() > kMaxStabilizers) throw SizeViolation("lookup decoding requires at most 32 Z-stabilizers");
  std::vector<std::uint64_t> masks;
  masks.reserve(stabilizers.size());
  for (std::size_t j = 0; j < stabilizers.size(); ++j) masks.push_back(support_mask(stabilizers[j], n_data, "z_stabilizers", j));
  return masks;
}

SyndromeSpace::SyndromeSpace(unsigned n_data, const std::vector<std::uint64_t>& masks) {
  // A basis vector with its number: the XOR of the pivot columns it is made of.
  struct Vector {
    std::uint32_t syndrome = 0;
    std::uint32_t number = 0;
  };
  // Elimination in qubit order, keyed by highest bit. A column independent of
  // those before it becomes pivot i with number 2^i; any other is numbered by
  // the pivots it reduces to.
  std::array<Vector, 32> by_top{};
  columns_.resize(n_data);
  for (unsigned q = 0; q < n_data; ++q) {
    Vector x;
    for (std::size_t j = 0; j < masks.size(); ++j) x.syndrome |= static_cast<std::uint32_t>((masks[j] >> q) & 1) << j;
    while (x.syndrome != 0) {
      const auto top = static_cast<unsigned>(std::bit_width(x.syndrome) - 1);
      if (by_top[top].syndrome == 0) break;
      x.syndrome ^= by_top[top].syndrome;
      x.number ^= by_top[top].number;
    }
    if (x.syndrome == 0) {
      columns_[q] = x.number;
    } else {
      const std::uint32_t unit = std::uint32_t{1} << pivot_qubits_.size();
      by_top[std::bit_width(x.syndrome) - 1] = {x.syndrome, x.number ^ unit};
      columns_[q] = unit;
      pivot_qubits_.push_back(q);
    }
  }
  // Fully reduced, the basis orders the space: a syndrome is the XOR of the
  // basis vectors at its top bits, and two syndromes compare as those bits do.
  for (unsigned j = 0; j < 32; ++j)
    if (by_top[j].syndrome != 0)
      for (unsigned k = j + 1; k < 32; ++k)
        if ((by_top[k].syndrome >> j) & 1) {
          by_top[k].syndrome ^= by_top[j].syndrome;
          by_top[k].number ^= by_top[j].number;
        }
  Vector step;
  for (const Vector& v : by_top)
    if (v.syndrome != 0) {
      ascending_basis_.emplace_back(v.syndrome, v.number);
      step = {step.syndrome ^ v.syndrome, step.number ^ v.number};
      ascending_steps_.emplace_back(step.syndrome, step.number);
    }
}

std::pair<std::uint32_t, std::uint32_t> SyndromeSpace::ascending(std::uint32_t t) const {
  std::uint32_t syndrome = 0, number = 0;
  for (; t != 0; t &= t - 1) {
    const auto& [s, k] = ascending_basis_[static_cast<unsigned>(std::countr_zero(t))];
    syndrome ^= s;
    number ^= k;
  }
  return {syndrome, number};
}

std::uint32_t CorrectionTable::correction(std::uint32_t number) const {
  return reversed(preferred[number] & static_cast<std::uint32_t>((std::uint64_t{1} << n_data) - 1));
}

std::uint32_t CorrectionTable::reversed(std::uint32_t mask) const { return reverse_bits(mask, n_data); }

CorrectionTable build_table(unsigned n_data, SyndromeSpace space, pool::Threads threads) {
  const unsigned n = n_data;
  CorrectionTable out{std::move(space), {}, n};
  const std::uint64_t size = out.space.size();
  require_memory(size, 1, sizeof(std::uint32_t));
  std::vector<std::uint32_t>& keys = out.preferred;
  // Filled a slice at a time: at 2^26 entries the first touch of the pages
  // alone takes a tenth of a second, which Ctrl-C should not wait out.
  keys.reserve(size);
  constexpr std::uint64_t kPerPoll = std::uint64_t{1} << 16;
  for (std::uint64_t first = 0; first < size; first += kPerPoll) {
    poll_interrupt(kPerPoll);
    keys.insert(keys.end(), std::min(kPerPoll, size - first), kEmpty);
  }

  // The weight-ordered walk is worth trying while it costs a fraction of the
  // full coset walk: an eighth of its patterns while the table stays in cache,
  // far fewer once every step is a cache miss. Otherwise the coset walk
  // finishes the job.
  const std::uint64_t budget = (std::uint64_t{1} << n) >> (size <= kCachedEntries ? 3 : 8);
  if (!walk_by_weight(out.space, n, std::max(budget, kMinWeightBudget), keys))
    walk_by_coset(out.space, n, keys, threads);
  return out;
}

LookupShape lookup_shape(std::uint64_t n_data, SupportRows z_stabilizers, LookupRowCost cost) {
  const std::vector<std::uint64_t> masks = stabilizer_masks(n_data, z_stabilizers);
  const auto n = static_cast<unsigned>(n_data);
  SyndromeSpace space(n, masks);
  require_memory(space.size(), 1, cost.row_bytes + cost.bit_bytes * (n_data + masks.size()));
  return {n, static_cast<unsigned>(masks.size()), std::move(space)};
}

LookupTable build_ecc_lookup_table(LookupShape shape, pool::Threads threads) {
  return {shape.n_data, shape.n_stabilizers, build_table(shape.n_data, std::move(shape.space), threads)};
}

void LookupTable::write_rows(std::span<std::uint64_t> syndromes, std::span<std::uint64_t> corrections,
                             pool::Threads threads) const {
  constexpr std::size_t kRowsPerChunk = 4096;
  const SyndromeSpace& space = table.space;
  pool::parallel_for(threads, rows(), kRowsPerChunk, [&](std::size_t first, std::size_t last) {
    poll_interrupt(last - first);
    auto [syndrome, number] = space.ascending(static_cast<std::uint32_t>(first));
    for (std::size_t i = first;;) {
      syndromes[i] = syndrome;
      corrections[i] = table.correction(number);
      if (++i == last) break;
      const auto [syndrome_step, number_step] = space.ascending_step(static_cast<unsigned>(std::countr_zero(i)));
      syndrome ^= syndrome_step;
      number ^= number_step;
    }
  });
}

}  // namespace tavik::ecc
