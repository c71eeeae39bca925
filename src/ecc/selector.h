// Criticality ranking of QUBO variables and the allocation of surface-code
// patches to the most critical ones under a physical-qubit budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/qubo.h"

namespace tavik::ecc {

// (variable, criticality) pairs.
using Ranking = std::vector<std::pair<std::uint64_t, double>>;

// Criticality of variable k: Σ |w| over the terms touching it (a linear term
// once, a term with an index ≥ n_vars not at all). Sorted by criticality,
// descending and stable; with two or more variables a NaN criticality is an
// internal failure. MemoryError up front unless the ranking fits with
// `result_bytes_per_variable` more for each variable: what the caller's form
// of the result costs.
Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars,
                         std::size_t result_bytes_per_variable);

struct PatchAssignment {
  std::uint64_t logical_var;
  std::uint64_t distance;
  std::uint64_t physical_start;
  std::uint64_t physical_end;  // one past the block's last qubit

  // "PatchAssignment(logical_var=4, distance=3, physical_qubits=0..9)"
  std::string repr() const;
};

// One distance² block per ranked variable, in the given order and back to
// back from qubit 0, while blocks fit in the budget. Distance 0 gives none; a
// distance whose square overflows 64 bits is a ValueError.
std::vector<PatchAssignment> select_patches(const Ranking& ranked, std::uint64_t physical_qubit_budget,
                                            std::uint64_t distance);

// An assignment from its fields, if select_patches could give it, else
// ValueError: a distance from 1 whose square fits in 64 bits, and a block of
// distance² qubits placed back to back from qubit 0.
PatchAssignment patch_assignment_from_fields(std::uint64_t logical_var, std::uint64_t distance,
                                             std::uint64_t physical_start, std::uint64_t physical_end);

}  // namespace tavik::ecc
