// Rewriting a gate list over logical variables into one over the physical
// qubits of their surface-code patches.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ecc/select_patches.h"

namespace tavik::ecc {

// (gate name, operand indices); the name is carried, never interpreted.
using Gate = std::pair<std::string, std::vector<std::uint64_t>>;

// Each operand that names an assigned logical variable becomes the first
// physical qubit of its patch (the last record for a variable wins); every
// other operand, and every name, passes through unchanged.
std::vector<Gate> remap_circuit(std::vector<Gate> circuit, const std::vector<PatchAssignment>& assignments);

}  // namespace tavik::ecc
