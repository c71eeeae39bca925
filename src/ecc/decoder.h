// Minimum-weight lookup decoding of small codes under bit-flip noise, and the
// exact logical failure probability of a code decoded that way.
//
// Error patterns, corrections and stabilizer supports are bit masks over the
// data qubits (bit q is qubit q); bit j of a syndrome is the parity of the
// overlap with stabilizer j.
#pragma once

#include <cstdint>
#include <vector>

namespace tavik::ecc {

inline constexpr std::uint64_t kMaxDataQubits = 26;
inline constexpr std::size_t kMaxStabilizers = 32;

using Supports = std::vector<std::vector<std::uint64_t>>;

// One mask per stabilizer, in order; a qubit listed twice counts once.
// SizeViolation beyond 26 data qubits (tested first) or 32 stabilizers;
// ValueError naming the first support index that is not below n_data.
std::vector<std::uint64_t> stabilizer_masks(std::uint64_t n_data, const Supports& stabilizers);

// The syndromes a code can produce: a subspace of GF(2)^m of dimension
// r ≤ min(m, n_data), numbered densely 0 … 2^r − 1 in ascending syndrome
// order. The number of a pattern's syndrome is the XOR of its qubits'
// columns, so it is found without forming the syndrome itself.
class SyndromeSpace {
 public:
  SyndromeSpace(unsigned n_data, const std::vector<std::uint64_t>& masks);

  unsigned rank() const { return static_cast<unsigned>(basis_.size()); }
  std::uint64_t size() const { return std::uint64_t{1} << rank(); }
  // The number of the syndrome of flipping qubit q alone.
  std::uint32_t column(unsigned q) const { return columns_[q]; }
  // The syndrome numbered `index`.
  std::uint32_t syndrome(std::uint32_t index) const;

 private:
  std::vector<std::uint32_t> columns_;
  std::vector<std::uint32_t> basis_;  // basis_[i]: the syndrome numbered 2^i
};

// The minimum-weight correction of every producible syndrome, by syndrome
// number. Among equal weights the pattern (e_0, e_1, …, e_{n−1}) that is
// lexicographically smallest wins (the first one met when the patterns are
// walked with qubit 0 varying slowest).
struct CorrectionTable {
  SyndromeSpace space;
  std::vector<std::uint32_t> corrections;
};

CorrectionTable build_table(std::uint64_t n_data, const std::vector<std::uint64_t>& masks);

// The decoder as its callers see it: every producible syndrome, ascending,
// with its correction.
struct LookupTable {
  unsigned n_data;
  unsigned n_stabilizers;
  CorrectionTable table;
};

LookupTable build_ecc_lookup_table(std::uint64_t n_data, const Supports& z_stabilizers);

// Probability that independent bit flips of probability p, decoded by the
// lookup table, leave a residual anticommuting with logical Z: one running
// sum over the failing patterns in ascending pattern order.
double logical_failure_probability(std::uint64_t n_data, const Supports& z_stabilizers,
                                   const std::vector<std::uint64_t>& logical_z, double physical_error_rate);

}  // namespace tavik::ecc
