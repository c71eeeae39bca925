// The allocation of surface-code patches to the most critical variables
// (criticality.h) under a physical-qubit budget.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ecc/criticality.h"

namespace tavik::ecc {

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
