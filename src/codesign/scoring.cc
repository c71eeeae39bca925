#include "scoring.h"

#include <charconv>
#include <cmath>
#include <system_error>

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

}  // namespace tavik
