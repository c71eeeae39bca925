// Exact lowest states and lowest energy levels of a QUBO or Ising model of up
// to 48 variables, in memory that grows with n² and k, never with 2^n.
//
// The assignment space is walked in Gray-code order, 256 assignments side by
// side; the walk's running energies carry rounding error, so every
// assignment they cannot rule out is evaluated again in the model's own term
// order before it is kept (qubo.cc bounds that error). Reported energies are
// therefore those of the model's term order, and the same on every thread
// count, SIMD path and split of the assignment space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/qubo.h"
#include "pool/pool.h"

namespace tavik::qubo {

inline constexpr std::uint64_t kMaxVariables = 48;

enum class Vartype : std::uint8_t { binary, spin };

// A model as its caller lists it. The energy of an assignment is the offset
// plus each term in list order: w·x_i·x_j for i ≠ j, w·x_i for i = j, where
// x is 0/1 (binary) or −1/+1 (spin; a set bit is +1). Bit j of an
// assignment's index is variable j.
struct Model {
  QuboView terms;
  double offset;
  std::uint64_t n_vars;
  Vartype vartype;
};

// Throws for a model no kernel here takes, before any work: SizeViolation
// past kMaxVariables, ValueError for an index out of range, a weight or
// offset that is not finite, or magnitudes whose sum overflows.
void check(const Model& model);

// The energy of one assignment, summed in the model's term order: the value
// every result reports. With no offset and binary variables it is the sum
// tavik_core's spectrum computes for that assignment.
double energy(const Model& model, std::uint64_t index);

// The assignment space splits into part_count(n_vars) parts of equal size,
// part p holding the indices whose top bits are p: the ranges a caller may
// hand to different machines.
std::uint64_t part_count(std::uint64_t n_vars);

// How many states lowest() reports for `k` over parts [first, last).
std::uint64_t lowest_count(std::uint64_t n_vars, std::uint64_t k, std::uint64_t first, std::uint64_t last);

// The k lowest assignments of parts [first, last) by (energy, index), in
// that order, into spans of lowest_count() elements. `progress`, when not
// null, is raised by the assignments walked so far (relaxed atomic adds),
// for a progress bar read by another thread.
void lowest(const Model& model, std::uint64_t k, std::uint64_t first, std::uint64_t last, std::span<double> energies,
            std::span<std::uint64_t> indices, std::uint64_t* progress, pool::Threads threads);

// One energy level: the spectrum's value for its key and the number of
// assignments whose energy has that key.
struct Level {
  double energy;
  std::uint64_t count;
};

// The k lowest levels of the whole space, ascending. Two energies are one
// level when their keys (energy × 1e9, rounded half away from zero) are
// equal, as in tavik_core's spectrum; a level beyond the keys' range is a
// ValueError rather than a merge of unrelated energies.
std::vector<Level> levels(const Model& model, std::uint64_t k, std::uint64_t* progress, pool::Threads threads);

}  // namespace tavik::qubo
