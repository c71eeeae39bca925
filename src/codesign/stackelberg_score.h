// Scores of the co-design loop.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

// The score of one validation iteration of the Stackelberg co-design loop.
struct EquilibriumScore {
  double kappa;        // calibration margin κ in [0, 1] (NaN only from NaN inputs)
  double confidence;   // the iteration's raw confidence
  double energy_gap;   // |second-best − best energy|
  std::uint64_t iterations;  // position of the iteration in the input lists
  double kappa_std;    // population standard deviation of κ over the scored iterations

  // EquilibriumScore(kappa=…, confidence=…, energy_gap=…, kappa_std=…,
  // iterations=…) with 4 correctly rounded decimals per double.
  std::string repr() const;
};

// A score from its fields, if scoring some iteration could give it, else
// ValueError: κ in [0, 1], or NaN, as it is whenever the confidence is, and
// then from a lone iteration (iterations 0, kappa_std 0); an absolute energy
// gap; a spread of κ values in [0, 1], which lies in [0, 1].
EquilibriumScore equilibrium_score_from_fields(double kappa, double confidence, double energy_gap,
                                               std::uint64_t iterations, double kappa_std);

}  // namespace tavik
