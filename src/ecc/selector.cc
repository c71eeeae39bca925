#include "ecc/selector.h"

#include <algorithm>
#include <cmath>

#include "common/memory.h"
#include "common/errors.h"

namespace tavik::ecc {

Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars,
                         std::size_t result_bytes_per_variable) {
  // Per variable: the criticality, its ranked pair, and what the caller makes of it.
  require_memory(n_vars, 1, sizeof(double) + sizeof(Ranking::value_type) + result_bytes_per_variable);
  std::vector<double> criticality(n_vars, 0.0);
  for (std::size_t k = 0; k < qubo.size(); ++k) {
    const QuboTerm t = qubo[k];
    if (t.i >= n_vars || t.j >= n_vars) continue;
    const double a = std::fabs(t.w);
    criticality[t.i] += a;
    if (t.i != t.j) criticality[t.j] += a;
  }

  Ranking ranked(n_vars);
  for (std::uint64_t k = 0; k < n_vars; ++k) ranked[k] = {k, criticality[k]};
  // The ranking's order is only partial over NaN: a comparison that meets one
  // is a failure, and with two or more entries every entry is compared.
  if (n_vars >= 2 && std::any_of(criticality.begin(), criticality.end(), [](double c) { return std::isnan(c); }))
    throw Panic("called `Option::unwrap()` on a `None` value");
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return ranked;
}

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
