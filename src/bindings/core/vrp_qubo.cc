#include "bindings/core/bindings.h"
#include "bindings/core/convert/vrp_qubo.h"
#include "bindings/core/result_costs.h"
#include "routing/vrp_qubo.h"

namespace tavik::bindings {
namespace {

VrpQubo vrp_qubo_terms(DistanceView dist, double penalty_a, double penalty_b) {
  // Refused before the kernel reads dist: the converter keeps no values of a
  // square matrix this large.
  if (vrp_nodes(dist) > vrp_max_nodes(kVrpEntryBytes)) throw std::bad_alloc();
  return VrpQubo(dist, penalty_a, penalty_b);
}

}  // namespace

void register_vrp_qubo(py::Module& m) {
  m.def<&vrp_qubo_terms, "vrp_qubo_terms(dist, penalty_a, penalty_b)">(
      "One-hot tour QUBO of a routing instance with the n × n distance matrix dist: every term of\n"
      "A·Σ_i(1 - Σ_t x_it)² + A·Σ_t(1 - Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,(t+1 mod n), constants\n"
      "dropped, as a dict {(name, name): value} over the variables 'x_{i}_{t}' (node i at position t).\n"
      "Each key's names are in string order; entries are inserted by variable index (n·i + t) of the\n"
      "key's first, then second name. ValueError if dist is not square.");
}

}  // namespace tavik::bindings
