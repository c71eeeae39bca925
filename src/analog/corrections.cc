#include "analog/corrections.h"

#include "common/open_addressing.h"

namespace tavik {

namespace {

// max(x, 0.01) with a NaN x giving 0.01 (IEEE maxNum), so that a NaN or
// hopeless error still yields a finite, bounded scale.
double clamped_scale(double error) {
  const double x = error + 1.0;
  return x > 0.01 ? x : 0.01;
}

// Hides a value from the optimiser. J / 1.0 must stay a real division: it
// quiets a signalling NaN, as the reference arithmetic does.
double opaque(double x) {
  const volatile double hidden = x;
  return hidden;
}

}  // namespace

std::vector<double> apply_detuning_correction(const std::vector<double>& detunings,
                                              const std::vector<std::pair<std::uint64_t, double>>& offsets) {
  // Dense by site: only sites below the length can matter. Every value goes
  // through the subtraction, a missing offset subtracting 0.0, as the
  // reference arithmetic does.
  std::vector<double> offset(detunings.size(), 0.0);
  for (const auto& [site, value] : offsets)
    if (site < offset.size()) offset[site] = value;
  std::vector<double> out(detunings.size());
  for (std::size_t k = 0; k < detunings.size(); ++k) out[k] = detunings[k] - offset[k];
  return out;
}

std::vector<QuboTerm> apply_coupling_correction(QuboView couplings, QuboView errors) {
  std::vector<QuboTerm> out;
  out.reserve(couplings.size());
  if (couplings.empty()) return out;
  // Error of each ordered site pair, later entries replacing earlier ones.
  OpenAddressingMap<std::uint64_t, std::uint64_t, double> table(errors.size());
  for (std::size_t k = 0; k < errors.size(); ++k) {
    const QuboTerm e = errors[k];
    *table.try_emplace(e.i, e.j, e.w).first = e.w;
  }
  for (std::size_t k = 0; k < couplings.size(); ++k) {
    const QuboTerm c = couplings[k];
    const double* error = table.find(c.i, c.j);
    out.push_back({c.i, c.j, c.w / (error == nullptr ? opaque(1.0) : clamped_scale(*error))});
  }
  return out;
}

double apply_rabi_correction(double rabi_frequency, double global_rabi_error) {
  return rabi_frequency / clamped_scale(global_rabi_error);
}

}  // namespace tavik
