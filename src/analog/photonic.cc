#include "analog/photonic.h"

#include <cmath>

namespace tavik::analog {

PhotonicGBSParameters PhotonicCompiler::build_arrazola_bromley_encoding(const sim::LogicalGraph& graph) const {
  const std::size_t n = graph.variables.size();
  PhotonicGBSParameters out{std::vector<std::vector<double>>(n, std::vector<double>(n, 0.0)),
                            std::vector<double>(n, 0.0)};
  if (n == 0 || graph.interactions.empty()) return out;
  const auto positions = sim::variable_positions(graph);
  for (const sim::Interaction& it : graph.interactions) {
    const auto p = positions.find(it.i), q = positions.find(it.j);
    if (p == positions.end() || q == positions.end()) continue;
    const std::size_t a = p->second, b = q->second;
    if (a == b) {
      out.phases[a] = std::atan(it.weight);
    } else {
      out.adjacency_matrix[a][b] = it.weight;
      out.adjacency_matrix[b][a] = it.weight;
    }
  }
  return out;
}

}  // namespace tavik::analog
