#include "bindings/bindings.h"
#include "sim/ising_backend.h"

namespace tavik::bindings {

void register_top_level(py::Module& m) {
  m.def<&sim::exact_ising_norm, "exact_ising_norm(dh, dj, n_sites)">(
      "Exact operator norm of a diagonal Ising error Hamiltonian: the largest |ΔE| over all 2^n_sites spin\n"
      "configurations, ΔE = Σ Δh·s_site + Σ ΔJ·s_i·s_j (linear terms first, each list in order). NaN\n"
      "energies are ignored. n_sites ≤ 20, else SizeViolation; a site ≥ n_sites raises PanicException.");
  m.def<&sim::qubo_energy_spectrum, "qubo_energy_spectrum(qubo, n_vars)">(
      "Evaluate a QUBO ((i, j), w) term list on all 2^n_vars 0/1 assignments (variable k is bit k of the\n"
      "assignment index). Returns (best_assignment, best_energy, sorted_distinct_energies): the first\n"
      "strict minimum, its energy as accumulated, and the ascending energies rounded to 1e-9 with equal\n"
      "roundings merged. n_vars ≤ 20, else SizeViolation; an index ≥ n_vars raises PanicException.");
}

}  // namespace tavik::bindings
