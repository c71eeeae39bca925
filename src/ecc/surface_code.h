// The rotated surface-code patch of one logical qubit: data qubits on a d × d
// grid (row a, column b is qubit a·d + b), its stabilizer supports and its
// logical operators.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavik::ecc {

struct SurfaceCodePatch {
  std::uint64_t distance;
  std::vector<std::uint64_t> data_qubits;
  // In generation order, which is also the syndrome bit order of the decoder.
  std::vector<std::vector<std::uint64_t>> x_stabilizers;
  std::vector<std::vector<std::uint64_t>> z_stabilizers;
  std::vector<std::uint64_t> logical_x;  // the first row
  std::vector<std::uint64_t> logical_z;  // the first column

  // "SurfaceCodePatch(distance=3, data_qubits=9)"
  std::string repr() const;
};

inline constexpr std::uint64_t kDefaultDistance = 3;

// Any distance is built by the same plaquette rule (0 and 1 give no
// stabilizers). A distance whose patch cannot fit in memory, or whose d²
// overflows 64 bits, raises std::bad_alloc before anything is built.
SurfaceCodePatch build_surface_code(std::optional<std::uint64_t> distance);

// A patch from its fields, if they are those of build_surface_code(distance),
// else ValueError (or MemoryError as build_surface_code).
SurfaceCodePatch surface_code_patch_from_fields(std::uint64_t distance, const std::vector<std::uint64_t>& data_qubits,
                                                const std::vector<std::vector<std::uint64_t>>& x_stabilizers,
                                                const std::vector<std::vector<std::uint64_t>>& z_stabilizers,
                                                const std::vector<std::uint64_t>& logical_x,
                                                const std::vector<std::uint64_t>& logical_z);

}  // namespace tavik::ecc
