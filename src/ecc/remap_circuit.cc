#include "ecc/remap_circuit.h"

#include <unordered_map>

namespace tavik::ecc {

std::vector<Gate> remap_circuit(std::vector<Gate> circuit, const std::vector<PatchAssignment>& assignments) {
  std::unordered_map<std::uint64_t, std::uint64_t> representative;
  representative.reserve(assignments.size());
  for (const PatchAssignment& a : assignments) representative[a.logical_var] = a.physical_start;

  if (representative.empty()) return circuit;
  for (Gate& gate : circuit)
    for (std::uint64_t& q : gate.second)
      if (const auto it = representative.find(q); it != representative.end()) q = it->second;
  return circuit;
}

}  // namespace tavik::ecc
