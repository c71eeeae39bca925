// Failure counts of a code under bit flips, weight by weight: how many
// patterns of each weight the minimum-weight lookup decoder of
// ecc/lookup_table.h leaves with a logical error. They are the coefficients
// of the failure probability as a polynomial in the flip rate, and they reach
// codes far past the decoder's 26 data qubits, since a pattern of weight w
// only ever meets corrections of weight at most w.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ecc/lookup_table.h"
#include "pool/pool.h"

namespace tavik::qec {

// Syndrome numbers are kept in one word with the logical parity beside them.
inline constexpr unsigned kMaxRank = 62;

// A code as the weight walk reads it.
struct CountingCode {
  unsigned n = 0;     // data qubits
  unsigned rank = 0;  // of the checks over GF(2)
  // By walk position b, which is qubit n − 1 − b: the syndrome number of
  // flipping that qubit alone, shifted up one, above its overlap with the
  // logical. A pattern's key is the XOR of its positions' keys.
  std::vector<std::uint64_t> keys;
};

// Input failures for a check or logical index not below n_data, in that
// order; SizeViolation for checks of rank above kMaxRank.
CountingCode counting_code(std::uint64_t n_data, ecc::SupportRows checks, std::span<const std::uint64_t> logical);

// The failing patterns of each weight 0 … max_weight (at most n) whose
// syndromes lie in slices [first, last) of 2^slice_bits: the sums over every
// split of the slices are the counts of the whole code, whatever the split.
// SizeViolation when there are 2^63 patterns or more to walk; MemoryError
// before the walk when not even the smallest slices' tables would fit.
std::vector<std::uint64_t> failure_counts(const CountingCode& code, unsigned max_weight, unsigned slice_bits,
                                          std::uint64_t first, std::uint64_t last, pool::Threads threads);

// The counts of every weight from the decoder's own table, in one pass over
// all 2^n patterns; for codes within its limits (26 data qubits, 32 checks),
// and raising what it raises.
std::vector<std::uint64_t> complete_failure_counts(std::uint64_t n_data, ecc::SupportRows checks,
                                                   std::span<const std::uint64_t> logical, pool::Threads threads);

// Σ_{w ≤ max_weight} C(n, w), saturated at 2^64 − 1.
std::uint64_t patterns_up_to(unsigned n, unsigned max_weight);

}  // namespace tavik::qec
