#include "codesign/stackelberg.h"

#include <cmath>

#include "common/errors.h"

namespace tavik {
namespace {

// Limits x to [lo, hi]; NaN stays NaN.
double clamp(double x, double lo, double hi) {
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}

EquilibriumScore score(std::size_t t, double confidence, double best, double second_best, double chain_breaks) {
  const double gap = std::fabs(second_best - best);
  const double saturated_gap = gap < 10.0 ? gap : 10.0;  // a NaN gap saturates
  const double integrity = clamp(chain_breaks, 0.0, 1.0);
  const double raw = (confidence * 0.5 + (saturated_gap / 10.0) * 0.3) + (1.0 - integrity) * 0.2;
  return {clamp(raw, 0.0, 1.0), confidence, gap, t, 0.0};
}

// Population standard deviation, both sums in order (the first from −0.0).
double kappa_spread(const std::vector<EquilibriumScore>& scores) {
  const std::size_t n = scores.size();
  if (n < 2) return 0.0;
  double sum = -0.0;
  for (const auto& s : scores) sum += s.kappa;
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (const auto& s : scores) {
    const double d = s.kappa - mean;
    squares += d * d;
  }
  return std::sqrt(squares / static_cast<double>(n));
}

}  // namespace

std::tuple<double, EquilibriumScore> StackelbergSolver::solve(const std::vector<double>& confidences,
                                                              const std::vector<double>& best_energies,
                                                              const std::vector<double>& second_best_energies,
                                                              const std::vector<double>& chain_break_fractions,
                                                              double current_chain_strength) const {
  std::vector<EquilibriumScore> scores;
  scores.reserve(confidences.size());
  for (std::size_t t = 0; t < confidences.size(); ++t) {
    const double best = checked(best_energies, t);
    const double second_best = checked(second_best_energies, t);
    const double chain_breaks = checked(chain_break_fractions, t);
    scores.push_back(score(t, confidences[t], best, second_best, chain_breaks));
  }

  const double spread = kappa_spread(scores);
  for (auto& s : scores) s.kappa_std = spread;

  std::size_t best = 0;
  check_index(best, scores.size());
  for (std::size_t t = 1; t < scores.size(); ++t) {
    const double a = scores[best].kappa, b = scores[t].kappa;
    if (std::isnan(a) || std::isnan(b)) throw Panic("called `Option::unwrap()` on a `None` value");
    if (a <= b) best = t;
  }

  const double penalty = clamp(spread * 5.0, 0.0, 0.9);
  const double effective_rate = learning_rate * (1.0 - penalty);
  const double kappa = scores[best].kappa;
  const double strength =
      kappa >= target_kappa ? current_chain_strength : current_chain_strength * (effective_rate * (1.0 - kappa) + 1.0);
  return {strength, scores[best]};
}

}  // namespace tavik
