#include "ecc/criticality.h"

#include <algorithm>
#include <cmath>

#include "common/errors.h"
#include "common/memory.h"

namespace tavik::ecc {

Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars,
                         std::size_t result_bytes_per_variable) {
  // Per variable: the criticality, its ranked pair, and what the caller makes of it.
  require_memory(n_vars, 1, sizeof(double) + sizeof(Ranking::value_type) + result_bytes_per_variable);
  std::vector<double> criticality(n_vars, 0.0);
  for (std::size_t k = 0; k < qubo.size(); ++k) {
    const QuboTerm t = qubo[k];
    if (t.i >= n_vars || t.j >= n_vars) continue;
    const double a = std::fabs(t.w);
    criticality[t.i] += a;
    if (t.i != t.j) criticality[t.j] += a;
  }

  Ranking ranked(n_vars);
  for (std::uint64_t k = 0; k < n_vars; ++k) ranked[k] = {k, criticality[k]};
  // The ranking's order is only partial over NaN: a comparison that meets one
  // is a failure, and with two or more entries every entry is compared.
  if (n_vars >= 2 && std::any_of(criticality.begin(), criticality.end(), [](double c) { return std::isnan(c); }))
    throw Panic("called `Option::unwrap()` on a `None` value");
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return ranked;
}

}  // namespace tavik::ecc
