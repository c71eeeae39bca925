// Noisy hardware runs of a QUBO, for solution validation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "common/qubo.h"

namespace tavik {

// The run assignments: `runs` rows of `n` bytes, one contiguous array, and
// the base assignment they were drawn from.
struct RunAssignments {
  std::vector<std::uint8_t> bits;  // row-major: run k is bits[k·n, k·n + n)
  std::size_t runs;
  std::size_t n;
  std::vector<std::uint8_t> base;
};

struct NoisyRuns {
  RunAssignments assignments;
  std::vector<double> energies;  // energies[k] belongs to run k
  auto as_tuple() const { return std::tie(assignments, energies); }
};

// n_runs copies of base_bits, each entry flipped (b → 1 − b in 8-bit
// arithmetic) when a SplitMix64 draw from `seed` is below noise_level, one
// draw per entry in run-major order; and the QUBO energy of every run, summed
// in term order from −0.0. Energies are evaluated on the worker pool. With
// n_runs > 0 a term index ≥ len(base_bits) is an index failure (Panic) for
// the first such term in list order.
NoisyRuns simulate_qubo_runs(const std::vector<QuboTerm>& qubo, const std::vector<std::uint8_t>& base_bits,
                             std::uint64_t n_runs, double noise_level, std::uint64_t seed);

}  // namespace tavik
