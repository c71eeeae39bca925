// Noisy hardware runs of a QUBO, for solution validation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

#include "common/qubo.h"
#include "pool/pool.h"

namespace tavik {

// The run assignments: `runs` rows of `n` bytes, one contiguous array.
struct RunAssignments {
  std::vector<std::uint8_t> bits;  // row-major: run k is bits[k·n, k·n + n)
  std::size_t runs;
  std::size_t n;
};

struct NoisyRuns {
  RunAssignments assignments;
  std::vector<double> energies;  // energies[k] belongs to run k
  auto as_tuple() const { return std::tie(assignments, energies); }
};

// n_runs = energies.size() copies of base_bits into `bits` (row-major, n_runs
// rows of len(base_bits)), each entry flipped (b → 1 − b in 8-bit
// arithmetic) when a SplitMix64 draw from `seed` is below noise_level, one
// draw per entry in run-major order; and into `energies` the QUBO energy of
// every run, summed in term order from −0.0. Draws are made where `draws`
// says, energies on the worker pool. With n_runs > 0 a term index ≥
// len(base_bits) is a broken input rule (InputError) for the first such term
// in list order, before anything is written.
void simulate_qubo_runs(QuboView qubo, std::span<const std::uint8_t> base_bits,
                        double noise_level, std::uint64_t seed, std::span<std::uint8_t> bits,
                        std::span<double> energies, pool::Threads draws);

// What the caller's form of the runs costs beyond their bytes and energies:
// per entry of a run and per run.
struct RunsCost {
  std::size_t per_entry;
  std::size_t per_run;
};

// MemoryError unless n_runs runs of n entries, their energies and what the
// caller's form of them costs fit in memory.
void require_runs_memory(std::size_t n, std::uint64_t n_runs, RunsCost cost);

// The same into new storage, drawing on the calling thread; MemoryError up
// front unless it fits with the caller's `cost`.
NoisyRuns simulate_qubo_runs(QuboView qubo, const std::vector<std::uint8_t>& base_bits,
                             std::uint64_t n_runs, double noise_level, std::uint64_t seed, RunsCost cost);

}  // namespace tavik
