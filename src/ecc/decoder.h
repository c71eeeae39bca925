// Minimum-weight lookup decoding of small codes under bit-flip noise, and the
// exact logical failure probability of a code decoded that way.
//
// Error patterns, corrections and stabilizer supports are bit masks over the
// data qubits (bit q is qubit q); bit j of a syndrome is the parity of the
// overlap with stabilizer j.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pool/pool.h"

namespace tavik::ecc {

inline constexpr std::uint64_t kMaxDataQubits = 26;
inline constexpr std::size_t kMaxStabilizers = 32;

// Stabilizer supports as compressed rows: support j lists the data qubits
// qubits[starts[j]] … qubits[starts[j + 1] − 1].
struct SupportRows {
  std::span<const std::uint64_t> starts;  // one more than there are supports
  std::span<const std::uint64_t> qubits;

  std::size_t size() const { return starts.size() - 1; }
  std::span<const std::uint64_t> operator[](std::size_t j) const {
    return qubits.subspan(starts[j], starts[j + 1] - starts[j]);
  }
};

// One mask per stabilizer, in order; a qubit listed twice counts once.
// SizeViolation beyond 26 data qubits (tested first) or 32 stabilizers;
// ValueError naming the first support index that is not below n_data.
std::vector<std::uint64_t> stabilizer_masks(std::uint64_t n_data, SupportRows stabilizers);

// The syndromes a code can produce: a subspace of GF(2)^m of dimension
// r ≤ min(m, n_data), numbered densely 0 … 2^r − 1. Numbers are linear: a
// pattern's syndrome number is the XOR of its qubits' column numbers, found
// without forming the syndrome. The independent columns met first in qubit
// order are numbered 1, 2, 4, …, so low qubits keep to low numbers.
class SyndromeSpace {
 public:
  SyndromeSpace(unsigned n_data, const std::vector<std::uint64_t>& masks);

  unsigned rank() const { return static_cast<unsigned>(pivot_qubits_.size()); }
  std::uint64_t size() const { return std::uint64_t{1} << rank(); }
  // The number of the syndrome of flipping qubit q alone.
  std::uint32_t column(unsigned q) const { return columns_[q]; }
  // The qubits numbered 1, 2, 4, …: every number has a pattern over them.
  const std::vector<unsigned>& pivot_qubits() const { return pivot_qubits_; }
  // The t-th smallest producible syndrome (t from 0) and its number.
  std::pair<std::uint32_t, std::uint32_t> ascending(std::uint32_t t) const;
  // What the t-th smallest syndrome and its number are XORed with to give
  // the (t + 1)-th: ascending_step(countr_zero(t + 1)).
  std::pair<std::uint32_t, std::uint32_t> ascending_step(unsigned bit) const { return ascending_steps_[bit]; }

 private:
  std::vector<std::uint32_t> columns_;
  std::vector<unsigned> pivot_qubits_;
  // (syndrome, number) of the 2^i-th smallest syndrome.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ascending_basis_;
  // The XOR of the first i + 1 of them: t + 1 differs from t in bits 0 … i.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ascending_steps_;
};

// The minimum-weight correction of every producible syndrome, by syndrome
// number (SyndromeSpace). Among equal weights the pattern (e_0, e_1, …, e_{n−1}) that is
// lexicographically smallest wins (the first one met when the patterns are
// walked with qubit 0 varying slowest).
struct CorrectionTable {
  SyndromeSpace space;
  // By syndrome number: the winner's weight above its pattern read with qubit
  // q at bit n−1−q, the order in which candidates are preferred.
  std::vector<std::uint32_t> preferred;
  unsigned n_data;

  // The correction of syndrome number `number` (bit q: qubit q).
  std::uint32_t correction(std::uint32_t number) const;
  // `mask` over qubits, read like the patterns of `preferred`.
  std::uint32_t reversed(std::uint32_t mask) const;
};

CorrectionTable build_table(unsigned n_data, SyndromeSpace space, pool::Threads threads);

// The decoder as its callers see it: every producible syndrome, ascending,
// with its correction.
struct LookupTable {
  unsigned n_data;
  unsigned n_stabilizers;
  CorrectionTable table;

  std::uint64_t rows() const { return table.space.size(); }
  // Row `index`: the syndrome (bit j: stabilizer j) and its correction (bit q: qubit q).
  std::pair<std::uint32_t, std::uint32_t> row(std::uint64_t index) const {
    const auto [syndrome, number] = table.space.ascending(static_cast<std::uint32_t>(index));
    return {syndrome, table.correction(number)};
  }
  // Every row at once: row i's syndrome at syndromes[i], its correction at
  // corrections[i]; both spans hold rows() entries.
  void write_rows(std::span<std::uint64_t> syndromes, std::span<std::uint64_t> corrections,
                  pool::Threads threads) const;
};

// What one row of the caller's result costs: `row_bytes` plus `bit_bytes`
// for each of its n_data + n_stabilizers bits. Checked against the memory
// the process may use before the table is built.
struct LookupRowCost {
  std::size_t row_bytes;
  std::size_t bit_bytes;
};

// A code's syndrome space, checked and counted: the table's size is known
// (rows()) before the table is built.
struct LookupShape {
  unsigned n_data;
  unsigned n_stabilizers;
  SyndromeSpace space;

  std::uint64_t rows() const { return space.size(); }
};

// The size limits and support checks, then MemoryError unless rows() rows of
// `cost` fit.
LookupShape lookup_shape(std::uint64_t n_data, SupportRows z_stabilizers, LookupRowCost cost);

LookupTable build_ecc_lookup_table(LookupShape shape, pool::Threads threads);

// A code prepared for its logical failure probability under independent bit
// flips decoded by the lookup table: the patterns whose residual
// anticommutes with logical Z, in a form walked quickly in ascending pattern
// order. Preparing costs the table; each probability is one walk.
class FailureSet {
 public:
  // Errors as build_ecc_lookup_table, then ValueError for a logical_z index
  // that is not below n_data.
  FailureSet(std::uint64_t n_data, SupportRows z_stabilizers, std::span<const std::uint64_t> logical_z,
             pool::Threads threads);

  // One running sum of the probabilities of the failing patterns at bit-flip
  // probability p, in ascending pattern order.
  double probability(double p) const;
  // out[i] = probability(p[i]) for every i, bit for bit, with walks shared
  // between several values of p.
  void probabilities(std::span<const double> p, std::span<double> out, pool::Threads threads) const;

 private:
  // Calls sum.add_blocks(words, block_weights, in_block_weights) for runs of
  // blocks of 64 patterns, in ascending order: the failing patterns of block
  // i are the set bits j of words[i], of weight block_weights[i] +
  // in_block_weights[j]; the sum adds them in that order. Returns the sum,
  // taken and returned by value so that its running totals stay in registers.
  template <class Sum>
  Sum walk(Sum sum) const;
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
