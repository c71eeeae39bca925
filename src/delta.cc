#include "delta.h"

#include <unordered_map>

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
  __asm__("" : "+m"(x));
  return x;
}

struct PairHash {
  std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& p) const noexcept {
    std::uint64_t z = p.first * 0x9E3779B97F4A7C15ULL ^ p.second;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::size_t>(z ^ (z >> 31));
  }
};

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

std::vector<QuboTerm> apply_coupling_correction(const std::vector<QuboTerm>& couplings,
                                                const std::vector<QuboTerm>& errors) {
  std::vector<QuboTerm> out;
  out.reserve(couplings.size());
  if (couplings.empty()) return out;
  std::unordered_map<std::pair<std::uint64_t, std::uint64_t>, double, PairHash> table;
  table.reserve(errors.size());
  for (const QuboTerm& e : errors) table.insert_or_assign({e.i, e.j}, e.w);
  for (const QuboTerm& c : couplings) {
    const auto it = table.find({c.i, c.j});
    out.push_back({c.i, c.j, c.w / (it == table.end() ? opaque(1.0) : clamped_scale(it->second))});
  }
  return out;
}

double apply_rabi_correction(double rabi_frequency, double global_rabi_error) {
  return rabi_frequency / clamped_scale(global_rabi_error);
}

}  // namespace tavik
