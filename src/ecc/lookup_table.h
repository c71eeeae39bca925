// Minimum-weight lookup decoding of small codes under bit-flip noise.
//
//
// Error patterns, corrections and stabilizer supports are bit masks over the
// data qubits (bit q is qubit q); bit j of a syndrome is the parity of the
// overlap with stabilizer j.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
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

// Bit q for each qubit q of the support. The first index that is not below
// n_data is a broken input rule of `argument`: at `item`, or where no item
// is given, at its position in the support.
std::uint64_t support_mask(std::span<const std::uint64_t> support, std::uint64_t n_data, std::string_view argument,
                           std::optional<std::size_t> item);

// The XOR of values[i] over the set bits i of x, for every x below 2^count.
std::vector<std::uint32_t> subset_xors(const std::uint32_t* values, unsigned count);

// One mask per stabilizer, in order; a qubit listed twice counts once.
// SizeViolation beyond 26 data qubits (tested first) or 32 stabilizers;
// an input failure for the first support index that is not below n_data.
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

}  // namespace tavik::ecc
