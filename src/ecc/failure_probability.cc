#include "ecc/failure_probability.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>
#include <string>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "platform/simd.h"

namespace tavik::ecc {
namespace {

// The failure walk takes patterns a 64-bit word of them at a time.
constexpr unsigned kBlockBits = 6;

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

// The failing patterns are walked 64 at a time: block B holds the patterns
// k = 64·B + j, whose keys are key(64·B) XOR key(j). One 64-bit word says
// which of a block fail; it depends only on key(64·B), so when the key space
// is small next to the walk the words are tabulated once per key.
FailureSet::FailureSet(std::uint64_t n_data, SupportRows z_stabilizers, std::span<const std::uint64_t> logical_z,
                       pool::Threads threads) {
  const std::vector<std::uint64_t> masks = stabilizer_masks(n_data, z_stabilizers);
  n_ = static_cast<unsigned>(n_data);
  const CorrectionTable table = build_table(n_, SyndromeSpace(n_, masks), threads);
  const std::uint64_t logical = support_mask(logical_z, n_data, "logical_z", std::nullopt);

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
Sum FailureSet::walk(Sum sum, std::uint64_t first_block, std::uint64_t last_block) const {
  const std::size_t block_size = in_block_keys_.size();
  std::vector<std::uint8_t> in_block_weights(block_size);
  for (std::size_t j = 1; j < block_size; ++j) in_block_weights[j] = static_cast<std::uint8_t>(std::popcount(j));
  // Consecutive blocks differ in a run of low bits: key(B) = key(B − 1) ^ step[ctz(B)].
  const unsigned block_index_bits = n_ - block_bits_;
  std::vector<std::uint32_t> step(block_index_bits + 1, 0);
  for (unsigned t = 0; t < block_index_bits; ++t) step[t] = (t ? step[t - 1] : 0) ^ qubit_keys_[block_bits_ + t];

  const bool tabulated = !words_.empty();
  std::uint32_t block_key = 0;
  for (std::uint64_t b = first_block; b != 0; b &= b - 1) block_key ^= qubit_keys_[block_bits_ + std::countr_zero(b)];
  // Blocks reach the sum a batch at a time, so that a sum that adds in a
  // vectorised kernel (a call) makes one call per batch.
  constexpr std::uint64_t kBatch = 64;
  std::array<std::uint64_t, kBatch> words;
  std::array<std::uint8_t, kBatch> block_weights;
  for (std::uint64_t first = first_block; first < last_block; first += kBatch) {
    const auto count = static_cast<std::size_t>(std::min(kBatch, last_block - first));
    poll_interrupt(count * block_size);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t b = first + i;
      if (b != first_block) block_key ^= step[static_cast<unsigned>(std::countr_zero(b))];
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
  return walk(Sum{weights.data(), 0.0}, 0, blocks()).total;
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
  const Sum sum = walk(Sum{weights.data(), {}}, 0, blocks());
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

// Counts are integers, so any split of the blocks gives the same totals; each
// block's failing patterns are counted by weight with one mask per weight.
std::vector<std::uint64_t> FailureSet::counts_by_weight(pool::Threads threads) const {
  const std::size_t block_size = in_block_keys_.size();
  std::array<std::uint64_t, kBlockBits + 1> of_weight{};
  for (std::size_t j = 0; j < block_size; ++j) of_weight[std::popcount(j)] |= std::uint64_t{1} << j;
  struct Sum {
    const std::array<std::uint64_t, kBlockBits + 1>* of_weight;
    unsigned block_bits;
    std::vector<std::uint64_t> counts;
    void add_blocks(std::span<const std::uint64_t> words, const std::uint8_t* block_weights, const std::uint8_t*) {
      for (std::size_t i = 0; i < words.size(); ++i)
        if (words[i] != 0)
          for (unsigned k = 0; k <= block_bits; ++k) counts[block_weights[i] + k] += std::popcount(words[i] & (*of_weight)[k]);
    }
  };
  std::vector<std::uint64_t> counts(n_ + 1, 0);
  std::mutex merge;
  constexpr std::size_t kBlocksPerChunk = 4096;
  pool::parallel_for(threads, blocks(), kBlocksPerChunk, [&](std::size_t first, std::size_t last) {
    const Sum sum = walk(Sum{&of_weight, block_bits_, std::vector<std::uint64_t>(n_ + 1, 0)}, first, last);
    const std::lock_guard lock(merge);
    for (unsigned w = 0; w <= n_; ++w) counts[w] += sum.counts[w];
  });
  return counts;
}

}  // namespace tavik::ecc
