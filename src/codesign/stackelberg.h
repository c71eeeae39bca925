// The Stackelberg co-design solver: turns the statistics of validation
// iterations into the next chain strength.
#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "codesign/stackelberg_score.h"

namespace tavik {

struct StackelbergSolver {
  double target_kappa;          // κ at or above which the chain strength stays
  std::uint64_t max_iterations;  // the host loop's budget; solve does not read it
  double learning_rate;         // base multiplicative step of the adjustment

  // Scores every iteration (κ from confidence, energy gap and chain
  // integrity), picks the best (the later of equal κ), and returns the
  // recommended chain strength with the best score. The step shrinks with
  // the spread of κ. Lists shorter than `confidences`, an empty
  // `confidences` and NaN κ among several iterations are index or unwrap
  // failures (Panic).
  std::tuple<double, EquilibriumScore> solve(const std::vector<double>& confidences,
                                             const std::vector<double>& best_energies,
                                             const std::vector<double>& second_best_energies,
                                             const std::vector<double>& chain_break_fractions,
                                             double current_chain_strength) const;
};

}  // namespace tavik
