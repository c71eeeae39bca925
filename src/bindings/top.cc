#include "bindings/bindings.h"
#include "py/amplitudes.h"
#include "py/run_assignments.h"
#include "scoring.h"
#include "sim/ising_backend.h"
#include "sim/statevector_backend.h"
#include "stackelberg.h"
#include "validator.h"

namespace tavik::bindings {

void register_top_level(py::Module& m) {
  py::Class<StackelbergSolver, "StackelbergSolver(target_kappa, max_iterations, learning_rate)"> solver(
      "Stackelberg co-design solver: scores each validation iteration with a calibration margin κ, picks\n"
      "the best iteration and recommends the next chain strength, raising it by a step that shrinks as κ\n"
      "oscillates more, and leaving it unchanged once κ reaches target_kappa.");
  m.add(solver.init<double, std::uint64_t, double>()
            .get<&StackelbergSolver::target_kappa>("target_kappa", "Convergence target for κ.")
            .get<&StackelbergSolver::max_iterations>("max_iterations", "Maximum number of iterations before stopping.")
            .get<&StackelbergSolver::learning_rate>("learning_rate",
                                                    "Base multiplicative step size for chain-strength adjustment.")
            .method<&StackelbergSolver::solve,
                    "solve($self, confidences, best_energies, second_best_energies, chain_break_fractions, "
                    "current_chain_strength)">(
                "Score every iteration (κ = 0.5·confidence + 0.3·min(gap, 10)/10 + 0.2·(1 − chain breaks),\n"
                "limited to [0, 1]), pick the best (the later of equal κ) and return\n"
                "(recommended_chain_strength, best_score). Lists shorter than confidences, an empty\n"
                "confidences list, or NaN κ among several iterations raise PanicException."));
  py::Class<EquilibriumScore, "EquilibriumScore"> score("Equilibrium score for a single Stackelberg iteration.");
  m.add(score.get<&EquilibriumScore::kappa>("kappa", "Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy.")
            .get<&EquilibriumScore::confidence>("confidence", "Raw confidence from the validator.")
            .get<&EquilibriumScore::energy_gap>("energy_gap", "Absolute energy gap between best and second-best solution.")
            .get<&EquilibriumScore::iterations>("iterations", "Number of solver iterations taken to reach this score.")
            .get<&EquilibriumScore::kappa_std>("kappa_std",
                                               "Standard deviation of κ across all scored iterations (0.0 if < 2).")
            .repr<&EquilibriumScore::repr>());

  m.def<&sim::exact_ising_norm, "exact_ising_norm(dh, dj, n_sites)">(
      "Exact operator norm of a diagonal Ising error Hamiltonian: the largest |ΔE| over all 2^n_sites spin\n"
      "configurations, ΔE = Σ Δh·s_site + Σ ΔJ·s_i·s_j (linear terms first, each list in order). NaN\n"
      "energies are ignored. n_sites ≤ 20, else SizeViolation; a site ≥ n_sites raises PanicException.");
  m.def<&sim::qubo_energy_spectrum, "qubo_energy_spectrum(qubo, n_vars)">(
      "Evaluate a QUBO ((i, j), w) term list on all 2^n_vars 0/1 assignments (variable k is bit k of the\n"
      "assignment index). Returns (best_assignment, best_energy, sorted_distinct_energies): the first\n"
      "strict minimum, its energy as accumulated, and the ascending energies rounded to 1e-9 with equal\n"
      "roundings merged. n_vars ≤ 20, else SizeViolation; an index ≥ n_vars raises PanicException.");
  m.def<&sim::run_statevector, "run_statevector(instructions, n_qubits)">(
      "Run a gate list on |0…0⟩ of n_qubits ≤ 24 qubits (qubit q is bit q of the basis index) and return\n"
      "the 2^n_qubits amplitudes as (real, imag) tuples. Instructions are (gate_name, qubit_indices,\n"
      "params): one index for h, x, y, z, s, t, rx, ry, rz (θ) and u (θ, φ, λ); two or more for cx, cz\n"
      "and swap (extra indices ignored). Unknown gates raise ValueError; an empty index list, a missing\n"
      "parameter or a target beyond the state raises PanicException; n_qubits > 24 raises SizeViolation.");
  m.def<&simulate_qubo_runs, "simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed)">(
      "Simulate n_runs noisy runs of a QUBO: each run copies base_bits and flips every entry (b → 1 − b)\n"
      "when its SplitMix64 draw from seed is below noise_level, one draw per entry in run order. Returns\n"
      "(assignments, energies), the energies summed in term order. With n_runs > 0, a term index\n"
      "≥ len(base_bits) raises PanicException. Results do not depend on the number of threads.");
}

}  // namespace tavik::bindings
