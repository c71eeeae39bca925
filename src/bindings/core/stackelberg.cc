#include "bindings/core/bindings.h"
#include "codesign/stackelberg.h"
#include "codesign/stackelberg_score.h"

namespace tavik::bindings {

void register_stackelberg(py::Module& m) {
  m.add(py::Class<StackelbergSolver, "StackelbergSolver(target_kappa, max_iterations, learning_rate)">(
      "Stackelberg co-design solver: scores each validation iteration with a calibration margin κ, picks\n"
      "the best iteration and recommends the next chain strength, raising it by a step that shrinks as κ\n"
      "oscillates more, and leaving it unchanged once κ reaches target_kappa.")
            .init<double, std::uint64_t, double>()
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
  m.add(py::Class<EquilibriumScore, "EquilibriumScore">("Equilibrium score for a single Stackelberg iteration.")
            .get<&EquilibriumScore::kappa>("kappa", "Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy.")
            .get<&EquilibriumScore::confidence>("confidence", "Raw confidence from the validator.")
            .get<&EquilibriumScore::energy_gap>("energy_gap", "Absolute energy gap between best and second-best solution.")
            .get<&EquilibriumScore::iterations>("iterations", "Number of solver iterations taken to reach this score.")
            .get<&EquilibriumScore::kappa_std>("kappa_std",
                                               "Standard deviation of κ across all scored iterations (0.0 if < 2).")
            .repr<&EquilibriumScore::repr>()
            .rebuild<&equilibrium_score_from_fields, "(kappa, confidence, energy_gap, iterations, kappa_std)">());
}

}  // namespace tavik::bindings
