#include "ecc/select_patches.h"

#include "common/errors.h"

namespace tavik::ecc {

std::string PatchAssignment::repr() const {
  return "PatchAssignment(logical_var=" + std::to_string(logical_var) + ", distance=" + std::to_string(distance) +
         ", physical_qubits=" + std::to_string(physical_start) + ".." + std::to_string(physical_end) + ")";
}

std::vector<PatchAssignment> select_patches(const Ranking& ranked, std::uint64_t physical_qubit_budget,
                                            std::uint64_t distance) {
  std::uint64_t cost;
  if (__builtin_mul_overflow(distance, distance, &cost))
    throw ValueError("distance " + std::to_string(distance) +
                     " is too large: its patch needs more than 2^64 - 1 physical qubits");
  if (cost == 0 || cost > physical_qubit_budget) return {};

  // Every block ends within the budget, so `used` never exceeds it and the
  // room left (budget − used) is exact where used + cost could wrap.
  std::vector<PatchAssignment> out;
  std::uint64_t used = 0;
  for (const auto& item : ranked) {
    out.push_back({item.first, distance, used, used + cost});
    used += cost;
    if (cost > physical_qubit_budget - used) break;
  }
  return out;
}

PatchAssignment patch_assignment_from_fields(std::uint64_t logical_var, std::uint64_t distance,
                                             std::uint64_t physical_start, std::uint64_t physical_end) {
  std::uint64_t cost;
  if (distance == 0 || __builtin_mul_overflow(distance, distance, &cost))
    throw ValueError("PatchAssignment.distance: must be at least 1 with a square below 2^64");
  if (physical_start % cost != 0)
    throw ValueError("PatchAssignment.physical_start: must be a multiple of distance² (" + std::to_string(cost) + ")");
  if (physical_end < physical_start || physical_end - physical_start != cost)
    throw ValueError("PatchAssignment.physical_end: must be physical_start + distance² (" + std::to_string(cost) + ")");
  return {logical_var, distance, physical_start, physical_end};
}

}  // namespace tavik::ecc
