#include "analog/neutral_atom.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "common/errors.h"

namespace tavik::analog {

namespace {
constexpr double kPitch = 5.0;
constexpr std::size_t kTimeSteps = 100;
}  // namespace

std::vector<SpatialCoordinates> NeutralAtomCompiler::map_to_spatial_geometry(const sim::LogicalGraph& graph) const {
  const std::uint64_t n = graph.variables.size();
  std::vector<SpatialCoordinates> positions;
  if (n == 0) return positions;
  // The side is the rounded-up double square root, as the host package's own
  // compiler computes it; for any list length that fits in memory it is ⌈√n⌉.
  const auto side = static_cast<std::uint64_t>(std::ceil(std::sqrt(static_cast<double>(n))));
  positions.reserve(n);
  for (std::uint64_t v = 0; v < n; ++v)
    positions.push_back({static_cast<double>(v % side) * kPitch, static_cast<double>(v / side) * kPitch});
  return positions;
}

RydbergControlParameters NeutralAtomCompiler::generate_rydberg_controls(
    const sim::LogicalGraph&, const std::vector<SpatialCoordinates>& coords) const {
  return {std::vector<double>(kTimeSteps, 1.0), std::vector<double>(kTimeSteps, 0.5), coords};
}

SpatialCoordinates spatial_coordinates_from_fields(double x, double y) {
  const auto check = [](double v, const char* field) {
    // Exact: below 2^53 every multiple of the pitch is a whole double.
    if (std::signbit(v) || !(v < kPitch * 0x1p32) || std::fmod(v, kPitch) != 0.0)
      throw ValueError(std::string("SpatialCoordinates.") + field +
                       ": must be a lattice coordinate, a whole multiple of 5.0 from 0 below 5 * 2^32");
  };
  check(x, "x");
  check(y, "y");
  return {x, y};
}

}  // namespace tavik::analog
