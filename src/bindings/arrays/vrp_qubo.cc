#include <tuple>

#include "bindings/arrays/bindings.h"
#include "common/memory.h"
#include "routing/vrp_qubo.h"

namespace tavik::bindings::arrays {
namespace {

// The typed layer hands over the matrix's values and its number of rows (a
// ragged input comes as no values, so it is square only when it holds
// exactly rows × rows values). q is zeroed by the system as it is first
// written, so the entries the QUBO leaves out cost no time.
std::tuple<py::Ref, py::Ref> vrp_qubo_matrix(In<double> dist, std::uint64_t rows, double penalty_a,
                                             double penalty_b) {
  const std::size_t size = dist.span().size();
  const bool square = rows == 0 ? size == 0 : size % rows == 0 && size / rows == rows;
  const DistanceView view{dist.span().data(), static_cast<std::size_t>(rows), square};
  const std::size_t n = vrp_nodes(view);
  const std::size_t variables = n * n;
  require_memory(variables, variables, sizeof(double));
  auto q = new_array<double>(variables * variables, true);
  const VrpQubo qubo(view, penalty_a, penalty_b);
  {
    const Unlocked unlocked;
    qubo.fill_matrix(q.span, pool::Threads::pool);
  }
  return {std::move(q.object), py::to_py(qubo.names())};
}

}  // namespace

void register_vrp_qubo(py::Module& m) {
  m.def<&vrp_qubo_matrix, "vrp_qubo_matrix(dist, rows, penalty_a, penalty_b)">(
      "(q, labels): tavik_core's vrp_qubo_terms on the rows × rows matrix dist as a buffer of rows² × rows²\n"
      "float64 (q[a, b] the value keyed (labels[a], labels[b]), 0.0 where it has none) and the variable\n"
      "names by index.");
}

}  // namespace tavik::bindings::arrays
