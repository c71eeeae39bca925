// The exact logical failure probability of a small code under independent
// bit flips, decoded by its minimum-weight lookup table (lookup_table.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ecc/lookup_table.h"
#include "pool/pool.h"

namespace tavik::ecc {

// A code prepared for its logical failure probability under independent bit
// flips decoded by the lookup table: the patterns whose residual
// anticommutes with logical Z, in a form walked quickly in ascending pattern
// order. Preparing costs the table; each probability is one walk.
class FailureSet {
 public:
  // Errors as build_ecc_lookup_table, then an input failure for a logical_z
  // index that is not below n_data.
  FailureSet(std::uint64_t n_data, SupportRows z_stabilizers, std::span<const std::uint64_t> logical_z,
             pool::Threads threads);

  // One running sum of the probabilities of the failing patterns at bit-flip
  // probability p, in ascending pattern order.
  double probability(double p) const;
  // out[i] = probability(p[i]) for every i, bit for bit, with walks shared
  // between several values of p.
  void probabilities(std::span<const double> p, std::span<double> out, pool::Threads threads) const;
  // The failing patterns of each weight 0 … n_data.
  std::vector<std::uint64_t> counts_by_weight(pool::Threads threads) const;

 private:
  // Calls sum.add_blocks(words, block_weights, in_block_weights) for runs of
  // blocks of 64 patterns, blocks [first, last) in ascending order: the failing patterns of block
  // i are the set bits j of words[i], of weight block_weights[i] +
  // in_block_weights[j]; the sum adds them in that order. Returns the sum,
  // taken and returned by value so that its running totals stay in registers.
  template <class Sum>
  Sum walk(Sum sum, std::uint64_t first, std::uint64_t last) const;
  std::uint64_t blocks() const { return std::uint64_t{1} << (n_ - block_bits_); }
  // probabilities() for up to sixteen values, in one walk.
  void probabilities_in_one_walk(std::span<const double> p, std::span<double> out) const;

  bool failing(std::uint32_t key) const { return (fails_[key >> 6] >> (key & 63)) & 1; }
  std::uint64_t block_word(std::uint32_t block_key) const;

  unsigned n_;
  unsigned block_bits_;                   // kBlockBits, or n for a smaller code
  std::vector<std::uint32_t> qubit_keys_;
  std::vector<std::uint32_t> in_block_keys_;  // by offset in a block
  std::vector<std::uint64_t> fails_;      // bit per key
  std::vector<std::uint64_t> words_;      // per key of a block's first pattern, if tabulated
};

}  // namespace tavik::ecc
