// Photonic back end: a Gaussian-boson-sampling encoding of a logical graph —
// the interaction weights as a symmetric adjacency matrix and the fields as
// per-mode phases.
#pragma once

#include <vector>

#include "sim/enumeration.h"

namespace tavik::analog {

struct PhotonicGBSParameters {
  std::vector<std::vector<double>> adjacency_matrix;  // n × n, zero diagonal
  std::vector<double> phases;                         // one per mode
};

struct PhotonicCompiler {
  // A[a][b] = A[b][a] = w for an interaction between distinct variables,
  // phase[k] = atan(w) for a self-interaction; later interactions overwrite
  // earlier ones, unknown names are skipped, names resolve to their last
  // position.
  PhotonicGBSParameters build_arrazola_bromley_encoding(const sim::LogicalGraph& graph) const;
};

}  // namespace tavik::analog
