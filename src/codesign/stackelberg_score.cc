#include "codesign/stackelberg_score.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/errors.h"

namespace tavik {
namespace {

// Fixed point with 4 decimals, rounded from the exact binary value with ties
// to even; NaN and the infinities as words.
void append_fixed4(std::string& out, double x) {
  if (std::isnan(x)) {
    out += "NaN";
    return;
  }
  if (std::isinf(x)) {
    out += x < 0 ? "-inf" : "inf";
    return;
  }
  char buffer[330];  // 309 integer digits at most, sign, point and 4 decimals
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 4);
  if (error == std::errc()) out.append(buffer, end);
}

}  // namespace

std::string EquilibriumScore::repr() const {
  std::string out = "EquilibriumScore(kappa=";
  append_fixed4(out, kappa);
  out += ", confidence=";
  append_fixed4(out, confidence);
  out += ", energy_gap=";
  append_fixed4(out, energy_gap);
  out += ", kappa_std=";
  append_fixed4(out, kappa_std);
  out += ", iterations=" + std::to_string(iterations) + ")";
  return out;
}

EquilibriumScore equilibrium_score_from_fields(double kappa, double confidence, double energy_gap,
                                               std::uint64_t iterations, double kappa_std) {
  const auto invalid = [](const char* rule) { throw ValueError(std::string("EquilibriumScore.") + rule); };
  if (!(std::isnan(kappa) || (kappa >= 0.0 && kappa <= 1.0))) invalid("kappa: must lie in [0, 1] or be NaN");
  if (std::isnan(confidence) && !std::isnan(kappa)) invalid("kappa: must be NaN where the confidence is");
  if (std::isnan(kappa) && (iterations != 0 || kappa_std != 0.0))
    invalid("kappa: a NaN κ comes only from a lone iteration, with iterations and kappa_std 0");
  if (std::signbit(energy_gap)) invalid("energy_gap: must be an absolute value, >= 0 or NaN");
  if (std::signbit(kappa_std) || !(kappa_std <= 1.0)) invalid("kappa_std: must lie in [0, 1]");
  return {kappa, confidence, energy_gap, iterations, kappa_std};
}

}  // namespace tavik
