#include "bindings/core/bindings.h"
#include "bindings/core/convert/columns.h"
#include "sim/enumeration.h"

namespace tavik::bindings {

using namespace sim;

namespace {

// This face enumerates on the calling thread.
double exact_ising_norm(sim::FieldView dh, QuboView dj, std::uint64_t n_sites) {
  return sim::exact_ising_norm(dh, dj, n_sites, pool::Threads::caller);
}

sim::Spectrum qubo_energy_spectrum(QuboView qubo, std::uint64_t n_vars) {
  return sim::qubo_energy_spectrum(qubo, n_vars, pool::Threads::caller);
}

}  // namespace

void register_enumeration(py::Module& m) {
  m.def<&exact_ising_norm, "exact_ising_norm(dh, dj, n_sites)">(
      "Exact operator norm of a diagonal Ising error Hamiltonian: the largest |ΔE| over all 2^n_sites spin\n"
      "configurations, ΔE = Σ Δh·s_site + Σ ΔJ·s_i·s_j (linear terms first, each list in order). NaN\n"
      "energies are ignored. n_sites ≤ 20, else SizeViolation; a site ≥ n_sites raises PanicException.");
  m.def<&qubo_energy_spectrum, "qubo_energy_spectrum(qubo, n_vars)">(
      "Evaluate a QUBO ((i, j), w) term list on all 2^n_vars 0/1 assignments (variable k is bit k of the\n"
      "assignment index). Returns (best_assignment, best_energy, sorted_distinct_energies): the first\n"
      "strict minimum, its energy as accumulated, and the ascending energies rounded to 1e-9 with equal\n"
      "roundings merged. n_vars ≤ 20, else SizeViolation; an index ≥ n_vars raises PanicException.");
}

void register_ising_graphs(py::Module& m) {
  m.add(py::Class<IsingSimulator, "IsingSimulator()">("")
            .init<>()
            .method<&IsingSimulator::solve_exact, "solve_exact($self, graph)">(
                "Ground state of the graph's Ising energy by enumerating all 2^N spin configurations (N ≤ 20):\n"
                "a list of N spins, +1 or -1, in variable order; ties go to the lowest configuration index."));
  m.add(py::Class<LogicalGraph, "LogicalGraph(variables, interactions)">("")
            .init<std::vector<Variable>, std::vector<Interaction>>()
            .rw<&LogicalGraph::variables>("variables")
            .rw<&LogicalGraph::interactions>("interactions"));
  m.add(py::Class<Variable, "Variable(name, domain)">("")
            .init<std::string, std::string>()
            .rw<&Variable::name>("name")
            .rw<&Variable::domain>("domain"));
  m.add(py::Class<Interaction, "Interaction(i, j, weight)">("")
            .init<std::string, std::string, double>()
            .rw<&Interaction::i>("i")
            .rw<&Interaction::j>("j")
            .rw<&Interaction::weight>("weight"));
}

}  // namespace tavik::bindings
