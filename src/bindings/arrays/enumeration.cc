#include <optional>
#include <tuple>

#include "bindings/arrays/bindings.h"
#include "sim/enumeration.h"

namespace tavik::bindings::arrays {
namespace {

// The spectrum's size is known only after the scan, so the scan runs, the
// result is made with the lock held, and the energies are written.
std::tuple<py::Ref, double, py::Ref> qubo_energy_spectrum(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols,
                                                          In<double> weights, std::uint64_t n_vars) {
  const QuboView qubo = tavik::arrays::qubo_view(rows, cols, weights);
  std::optional<sim::SpectrumScan> scan;
  {
    const Unlocked unlocked;
    scan.emplace(qubo, n_vars, pool::Threads::pool);
  }
  auto best = new_array<std::uint8_t>(n_vars);
  for (std::size_t k = 0; k < best.span.size(); ++k) best.span[k] = (scan->best_index() >> k) & 1;
  auto energies = new_array<double>(scan->distinct());
  {
    const Unlocked unlocked;
    scan->fill(energies.span);
  }
  return {std::move(best.object), scan->best_energy(), std::move(energies.object)};
}
double exact_ising_norm(Copied<std::uint64_t> sites, In<double> values, Copied<std::uint64_t> rows,
                        Copied<std::uint64_t> cols, In<double> weights, std::uint64_t n_sites) {
  tavik::arrays::require_size(sites.span().size(), values.span().size(), "sites");
  const sim::FieldView dh{sites, values};
  const QuboView dj = tavik::arrays::qubo_view(rows, cols, weights);
  const Unlocked unlocked;
  return sim::exact_ising_norm(dh, dj, n_sites, pool::Threads::pool);
}

}  // namespace

void register_enumeration(py::Module& m) {
  m.def<&qubo_energy_spectrum, "qubo_energy_spectrum(rows, cols, weights, n_vars)">(
      "(best, energy, energies): the first strict minimum's assignment (n_vars bytes), its energy and the\n"
      "ascending distinct energies (float64), buffers both, as tavik_core's qubo_energy_spectrum computes\n"
      "them.");
  m.def<&exact_ising_norm, "exact_ising_norm(sites, values, rows, cols, weights, n_sites)">(
      "Return tavik_core's exact_ising_norm of the fields (sites, values) and couplings (rows, cols,\n"
      "weights).");
}

}  // namespace tavik::bindings::arrays
