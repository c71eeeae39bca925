#include "ecc/decoder.h"

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
// The failure walk takes patterns a 64-bit word of them at a time.
constexpr unsigned kBlockBits = 6;

// The XOR of values[i] over the set bits i of x, for every x below 2^count:
// each entry is an earlier one with its lowest bit's value added.
std::vector<std::uint32_t> subset_xors(const std::uint32_t* values, unsigned count) {
  std::vector<std::uint32_t> t(std::size_t{1} << count);
  for (std::size_t x = 1; x < t.size(); ++x) t[x] = t[x & (x - 1)] ^ values[std::countr_zero(x)];
  return t;
}

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
      poll.step(low_count * (last_row - first_row));
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
        const std::uint32_t rest = pivot_pattern.high(h ^ c_high) | free_counter;
        merge_row(keys.data() + h * low_count, low_keys.data(), low_count, preference(rest, n));
      }
    }
  });
}

// Bit q for each qubit q of the support; the first index that is not below
// n_data fails, naming the support as `what`.
std::uint64_t support_mask(std::span<const std::uint64_t> support, std::uint64_t n_data, const char* what) {
  std::uint64_t mask = 0;
  for (std::uint64_t q : support) {
    if (q >= n_data)
      throw ValueError(std::string(what) + " references data qubit " + std::to_string(q) + " but n_data is " +
                       std::to_string(n_data));
    mask |= std::uint64_t{1} << q;
  }
  return mask;
}

// x^e by binary exponentiation, squaring from the lowest bit up; x^0 = 1.
double powi(double x, std::uint64_t e) {
  double result = e & 1 ? x : 1.0;
  while (e >>= 1) {
    x = x * x;
    if (e & 1) result = result * x;
  }
  return result;
}

// The probability of one particular pattern of weight w at bit-flip
// probability p.
double pattern_probability(double p, unsigned w, unsigned n) { return powi(p, w) * powi(1.0 - p, n - w); }

// Values of p that share one walk of the failing patterns.
constexpr std::size_t kLanes = 16;

// For each block i and each set bit j of words[i], in order, adds row
// block_weights[i] + in_block_weights[j] of `weights` (kLanes per row) to
// the kLanes totals: one ordered sum per lane. A function of its own, with
// no call inside, so that the totals stay in registers throughout.
template <class Isa>
[[gnu::always_inline]] inline void add_lanes_lanes(double* totals, const double* weights,
                                                   std::span<const std::uint64_t> words,
                                                   const std::uint8_t* block_weights,
                                                   const std::uint8_t* in_block_weights) {
  constexpr std::size_t kWidth = std::min(Isa::kDoubles, kLanes), kVectors = kLanes / kWidth;
  using Lanes = platform::simd::Vector<double, kWidth>;
  Lanes sums[kVectors];
  std::memcpy(sums, totals, sizeof sums);
  for (std::size_t i = 0; i < words.size(); ++i)
    for (std::uint64_t word = words[i]; word != 0; word &= word - 1) {
      const double* row = weights + kLanes * (block_weights[i] + in_block_weights[std::countr_zero(word)]);
      for (std::size_t v = 0; v < kVectors; ++v) {
        Lanes x;
        std::memcpy(&x, row + v * kWidth, sizeof x);
        sums[v] += x;
      }
    }
  std::memcpy(totals, sums, sizeof sums);
}
TAVIK_SIMD_DISPATCH(add_lanes, add_lanes_lanes)

// Bit (number << 1 | parity) of `fails` is set when a pattern of that
// syndrome number and logical parity is not decoded: when the parity differs
// from the correction's. Thirty-two numbers fill one word; this fills words
// [first, last).
template <class Isa>
[[gnu::always_inline]] inline void mark_failing_keys_lanes(const std::vector<std::uint32_t>& preferred,
                                                           std::uint32_t logical, std::vector<std::uint64_t>& fails,
                                                           std::size_t first, std::size_t last) {
  for (std::size_t word = first; word < last; ++word) {
    const std::size_t base = word * 32, count = std::min<std::size_t>(32, preferred.size() - base);
    std::uint64_t bits = 0;
    for (std::size_t j = 0; j < count; ++j)
      bits |= std::uint64_t{1} << (2 * j + 1 - (std::popcount(preferred[base + j] & logical) & 1));
    fails[word] = bits;
  }
}
TAVIK_SIMD_DISPATCH(mark_failing_keys, mark_failing_keys_lanes)

}  // namespace

std::vector<std::uint64_t> stabilizer_masks(std::uint64_t n_data, SupportRows stabilizers) {
  if (n_data > kMaxDataQubits) throw SizeViolation("lookup decoding requires n_data <= 26");
  if (stabilizers.size() > kMaxStabilizers) throw SizeViolation("lookup decoding requires at most 32 Z-stabilizers");
  std::vector<std::uint64_t> masks;
  masks.reserve(stabilizers.size());
  for (std::size_t j = 0; j < stabilizers.size(); ++j) masks.push_back(support_mask(stabilizers[j], n_data, "stabilizer"));
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
  keys.assign(size, kEmpty);

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

// The failing patterns are walked 64 at a time: block B holds the patterns
// k = 64·B + j, whose keys are key(64·B) XOR key(j). One 64-bit word says
// which of a block fail; it depends only on key(64·B), so when the key space
// is small next to the walk the words are tabulated once per key.
FailureSet::FailureSet(std::uint64_t n_data, SupportRows z_stabilizers, std::span<const std::uint64_t> logical_z,
                       pool::Threads threads) {
  const std::vector<std::uint64_t> masks = stabilizer_masks(n_data, z_stabilizers);
  n_ = static_cast<unsigned>(n_data);
  const CorrectionTable table = build_table(n_, SyndromeSpace(n_, masks), threads);
  const std::uint64_t logical = support_mask(logical_z, n_data, "logical_z");

  // A pattern k fails when parity(k & L) differs from parity(correction & L)
  // for its syndrome. Both parts are linear in k, so the key
  // (syndrome number << 1 | parity(k & L)) is the XOR of per-qubit keys, and
  // one bit per key says whether the pattern fails.
  block_bits_ = std::min(n_, kBlockBits);
  const std::uint64_t keys = table.space.size() * 2;
  fails_.assign((keys + 63) / 64, 0);
  // Polls stay outside mark_failing_keys (interrupt.h).
  constexpr std::size_t kWordsPerPoll = 1024;
  for (std::size_t first = 0; first < fails_.size(); first += kWordsPerPoll) {
    poll_interrupt(32 * kWordsPerPoll);
    mark_failing_keys(table.preferred, table.reversed(static_cast<std::uint32_t>(logical)), fails_, first,
                      std::min(fails_.size(), first + kWordsPerPoll));
  }
  qubit_keys_.resize(n_);
  for (unsigned q = 0; q < n_; ++q) qubit_keys_[q] = table.space.column(q) << 1 | ((logical >> q) & 1);
  in_block_keys_ = subset_xors(qubit_keys_.data(), block_bits_);
  // Tabulating the block words costs 64 lookups per key: worth it while that
  // is a small part of the walk's 2^n.
  if (keys << 8 <= std::uint64_t{1} << n_) {
    words_.resize(keys);
    BatchedPoll poll;
    for (std::uint64_t key = 0; key < keys; ++key) {
      poll.step(in_block_keys_.size());
      words_[key] = block_word(static_cast<std::uint32_t>(key));
    }
  }
}

std::uint64_t FailureSet::block_word(std::uint32_t block_key) const {
  std::uint64_t word = 0;
  for (std::size_t j = 0; j < in_block_keys_.size(); ++j)
    word |= std::uint64_t{failing(in_block_keys_[j] ^ block_key)} << j;
  return word;
}

template <class Sum>
Sum FailureSet::walk(Sum sum) const {
  const std::size_t block_size = in_block_keys_.size();
  std::vector<std::uint8_t> in_block_weights(block_size);
  for (std::size_t j = 1; j < block_size; ++j) in_block_weights[j] = static_cast<std::uint8_t>(std::popcount(j));
  // Consecutive blocks differ in a run of low bits: key(B) = key(B − 1) ^ step[ctz(B)].
  const unsigned block_index_bits = n_ - block_bits_;
  std::vector<std::uint32_t> step(block_index_bits + 1, 0);
  for (unsigned t = 0; t < block_index_bits; ++t) step[t] = (t ? step[t - 1] : 0) ^ qubit_keys_[block_bits_ + t];

  const bool tabulated = !words_.empty();
  std::uint32_t block_key = 0;
  // Blocks reach the sum a batch at a time, so that a sum that adds in a
  // vectorised kernel (a call) makes one call per batch.
  constexpr std::uint64_t kBatch = 64;
  std::array<std::uint64_t, kBatch> words;
  std::array<std::uint8_t, kBatch> block_weights;
  const std::uint64_t blocks = std::uint64_t{1} << block_index_bits;
  for (std::uint64_t first = 0; first < blocks; first += kBatch) {
    const auto count = static_cast<std::size_t>(std::min(kBatch, blocks - first));
    poll_interrupt(count * block_size);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t b = first + i;
      if (b != 0) block_key ^= step[static_cast<unsigned>(std::countr_zero(b))];
      words[i] = tabulated ? words_[block_key] : block_word(block_key);
      block_weights[i] = static_cast<std::uint8_t>(std::popcount(b));
    }
    sum.add_blocks({words.data(), count}, block_weights.data(), in_block_weights.data());
  }
  return sum;
}

double FailureSet::probability(double p) const {
  std::vector<double> weights(n_ + 1);
  for (unsigned w = 0; w <= n_; ++w) weights[w] = pattern_probability(p, w, n_);
  struct Sum {
    const double* weights;
    double total;
    void add_blocks(std::span<const std::uint64_t> words, const std::uint8_t* block_weights,
                    const std::uint8_t* in_block_weights) {
      for (std::size_t i = 0; i < words.size(); ++i)
        for (std::uint64_t word = words[i]; word != 0; word &= word - 1)
          total += weights[block_weights[i] + in_block_weights[std::countr_zero(word)]];
    }
  };
  return walk(Sum{weights.data(), 0.0}).total;
}

// One running total per lane, each added to exactly as probability()'s one:
// a lane's sum is that of its p bit for bit. The lanes of a weight are
// adjacent, so one pattern's additions are a few vector additions.
void FailureSet::probabilities_in_one_walk(std::span<const double> p, std::span<double> out) const {
  std::vector<double> weights((n_ + 1) * kLanes, 0.0);  // lanes past p.size() stay unused
  for (unsigned w = 0; w <= n_; ++w)
    for (std::size_t k = 0; k < p.size(); ++k) weights[w * kLanes + k] = pattern_probability(p[k], w, n_);
  struct Sum {
    const double* weights;
    std::array<double, kLanes> totals;
    void add_blocks(std::span<const std::uint64_t> words, const std::uint8_t* block_weights,
                    const std::uint8_t* in_block_weights) {
      add_lanes(totals.data(), weights, words, block_weights, in_block_weights);
    }
  };
  const Sum sum = walk(Sum{weights.data(), {}});
  std::copy_n(sum.totals.begin(), p.size(), out.begin());
}

void FailureSet::probabilities(std::span<const double> p, std::span<double> out, pool::Threads threads) const {
  // A walk costs about the same for one value as for kLanes (its additions
  // wait on one another, not on the processor's adders), so the values are
  // shared out among as few walks as hold them, and the walks among threads.
  const std::size_t walks = (p.size() + kLanes - 1) / kLanes;
  pool::parallel_for(threads, walks, 1, [&](std::size_t first_walk, std::size_t last_walk) {
    for (std::size_t job = first_walk; job < last_walk; ++job) {
      const std::size_t first = p.size() * job / walks, count = p.size() * (job + 1) / walks - first;
      const std::span<const double> values = p.subspan(first, count);
      const std::span<double> results = out.subspan(first, count);
      if (count == 1)
        results[0] = probability(values[0]);
      else
        probabilities_in_one_walk(values, results);
    }
  });
}

}  // namespace tavik::ecc
