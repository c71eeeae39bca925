// Neutral-atom back end: one atom per logical variable on a square lattice,
// driven by a global Rydberg pulse.
#pragma once

#include <vector>

#include "sim/enumeration.h"

namespace tavik::analog {

struct SpatialCoordinates {
  double x;  // column
  double y;  // row
};

// A position from its fields, if map_to_spatial_geometry could give it, else
// ValueError: each coordinate a whole multiple of the lattice pitch 5.0 from
// 0, below 5 · 2^32 (no lattice that fits in memory has more rows or columns).
SpatialCoordinates spatial_coordinates_from_fields(double x, double y);

struct RydbergControlParameters {
  std::vector<double> omega;  // Rabi frequency, one value per time step
  std::vector<double> delta;  // detuning, one value per time step
  std::vector<SpatialCoordinates> atom_positions;
};

struct NeutralAtomCompiler {
  // Variable v at ((v mod side)·5, (v div side)·5), side = ⌈√n⌉: a row-major
  // square lattice of pitch 5, the last row possibly partial.
  std::vector<SpatialCoordinates> map_to_spatial_geometry(const sim::LogicalGraph& graph) const;

  // The given positions with 100 steps of constant drive (Ω = 1.0, Δ = 0.5).
  RydbergControlParameters generate_rydberg_controls(const sim::LogicalGraph& graph,
                                                     const std::vector<SpatialCoordinates>& coords) const;
};

}  // namespace tavik::analog
