#include "ecc/surface_code.h"

#include <new>

#include "common/errors.h"
#include "common/memory.h"

namespace tavik::ecc {
namespace {

// Per data qubit: its own index, about one stabilizer (a vector header and its
// heap block of up to four indices), with room for the boundary plaquettes.
constexpr std::uint64_t kBytesPerQubit = 8 + 24 + 64;

}  // namespace

std::string SurfaceCodePatch::repr() const {
  return "SurfaceCodePatch(distance=" + std::to_string(distance) +
         ", data_qubits=" + std::to_string(data_qubits.size()) + ")";
}

SurfaceCodePatch build_surface_code(std::optional<std::uint64_t> distance) {
  const std::uint64_t d = distance.value_or(kDefaultDistance);
  // (d + 1)² candidate plaquettes; beyond 2^32 − 1 even d² has no 64-bit value.
  if (d >= std::uint64_t{1} << 32) throw std::bad_alloc();
  require_memory(d + 1, d + 1, kBytesPerQubit);

  SurfaceCodePatch patch{d, {}, {}, {}, {}, {}};
  patch.data_qubits.reserve(d * d);
  for (std::uint64_t q = 0; q < d * d; ++q) patch.data_qubits.push_back(q);

  // Candidate plaquettes by top-left corner (r, c), both from −1: corners
  // outside the grid give the boundary stabilizers. The corner order, and the
  // order of a plaquette's qubits (down before right), fix every syndrome's
  // bit order.
  const auto n = static_cast<std::int64_t>(d);
  const auto inside = [n](std::int64_t row, std::int64_t col) { return row >= 0 && row < n && col >= 0 && col < n; };
  patch.x_stabilizers.reserve((d * d + 1) / 2 + d);
  patch.z_stabilizers.reserve((d * d + 1) / 2 + d);
  for (std::int64_t r = -1; r < n; ++r) {
    for (std::int64_t c = -1; c < n; ++c) {
      const std::int64_t rows[4] = {r, r + 1, r, r + 1};
      const std::int64_t cols[4] = {c, c, c + 1, c + 1};
      std::vector<std::uint64_t> support;
      support.reserve(4);
      for (int k = 0; k < 4; ++k)
        if (inside(rows[k], cols[k])) support.push_back(static_cast<std::uint64_t>(rows[k] * n + cols[k]));
      const bool odd = ((r + c) & 1) != 0;  // parity of the signed sum: −1 is odd
      if (support.size() == 4) {
        (odd ? patch.x_stabilizers : patch.z_stabilizers).push_back(std::move(support));
      } else if (support.size() == 2) {
        const bool top_or_bottom = r == -1 || r == n - 1;
        if (top_or_bottom && !odd) patch.z_stabilizers.push_back(std::move(support));
        if (!top_or_bottom && odd) patch.x_stabilizers.push_back(std::move(support));
      }
    }
  }

  patch.logical_x.reserve(d);
  patch.logical_z.reserve(d);
  for (std::uint64_t k = 0; k < d; ++k) {
    patch.logical_x.push_back(k);
    patch.logical_z.push_back(k * d);
  }
  return patch;
}

SurfaceCodePatch surface_code_patch_from_fields(std::uint64_t distance, const std::vector<std::uint64_t>& data_qubits,
                                                const std::vector<std::vector<std::uint64_t>>& x_stabilizers,
                                                const std::vector<std::vector<std::uint64_t>>& z_stabilizers,
                                                const std::vector<std::uint64_t>& logical_x,
                                                const std::vector<std::uint64_t>& logical_z) {
  const auto mismatch = [distance](const char* field) {
    throw ValueError(std::string("SurfaceCodePatch.") + field + ": not that of the patch of distance " +
                     std::to_string(distance));
  };
  // The size first, so that building the patch to compare with costs no more
  // than the fields given already hold.
  if (distance >= std::uint64_t{1} << 32 || data_qubits.size() != distance * distance) mismatch("data_qubits");
  SurfaceCodePatch patch = build_surface_code(distance);
  if (data_qubits != patch.data_qubits) mismatch("data_qubits");
  if (x_stabilizers != patch.x_stabilizers) mismatch("x_stabilizers");
  if (z_stabilizers != patch.z_stabilizers) mismatch("z_stabilizers");
  if (logical_x != patch.logical_x) mismatch("logical_x");
  if (logical_z != patch.logical_z) mismatch("logical_z");
  return patch;
}

}  // namespace tavik::ecc
