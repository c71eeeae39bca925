#include <optional>
#include <tuple>
#include <vector>

#include "arrays/views.h"
#include "bindings/arrays/bindings.h"
#include "sim/ising_backend.h"
#include "sim/statevector_backend.h"

namespace tavik::bindings::arrays {
namespace {

// The spectrum's size is known only after the scan, so the scan runs, the
// result array is made with the lock held, and the energies are written.
std::tuple<double, py::Ref> qubo_energy_spectrum(In<std::uint64_t> rows, In<std::uint64_t> cols,
                                                 In<double> weights, std::uint64_t n_vars, Out<std::uint8_t> best) {
  const QuboView qubo = tavik::arrays::qubo_view(rows, cols, weights);
  std::optional<sim::SpectrumScan> scan;
  {
    const Unlocked unlocked;
    scan.emplace(qubo, n_vars, pool::Threads::pool);
  }
  const std::span<std::uint8_t> bits = best;
  tavik::arrays::require_size(bits.size(), n_vars, "best");
  for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = (scan->best_index() >> k) & 1;
  auto energies = tavik::arrays::new_array<double>(scan->distinct());
  {
    const Unlocked unlocked;
    scan->fill(energies.span);
  }
  return {scan->best_energy(), std::move(energies.object)};
}

double exact_ising_norm(In<std::uint64_t> sites, In<double> values, In<std::uint64_t> rows, In<std::uint64_t> cols,
                        In<double> weights, std::uint64_t n_sites) {
  tavik::arrays::require_size(sites.span().size(), values.span().size(), "sites");
  const sim::FieldView dh{sites, values};
  const QuboView dj = tavik::arrays::qubo_view(rows, cols, weights);
  const Unlocked unlocked;
  return sim::exact_ising_norm(dh, dj, n_sites, pool::Threads::pool);
}

void run_statevector(const std::vector<sim::Instruction>& instructions, std::uint64_t n_qubits,
                     Out<sim::Amplitude> state) {
  const unsigned n = sim::statevector_qubits(n_qubits);
  const std::span<sim::Amplitude> amplitudes = state;
  tavik::arrays::require_size(amplitudes.size(), std::size_t{1} << n, "state");
  const Unlocked unlocked;
  sim::run_statevector(instructions, n, amplitudes, pool::Threads::pool);
}

}  // namespace

void register_sim(py::Module& m) {
  m.def<&qubo_energy_spectrum, "qubo_energy_spectrum(rows, cols, weights, n_vars, best)">(
      "Fill best (n_vars bytes) with the first strict minimum's assignment and return (its energy, the\n"
      "ascending distinct energies as a bytearray of float64) as tavik_core's qubo_energy_spectrum\n"
      "computes them.");
  m.def<&exact_ising_norm, "exact_ising_norm(sites, values, rows, cols, weights, n_sites)">(
      "Return tavik_core's exact_ising_norm of the fields (sites, values) and couplings (rows, cols,\n"
      "weights).");
  m.def<&run_statevector, "run_statevector(instructions, n_qubits, state)">(
      "Fill state (2^n_qubits complex128) with tavik_core's run_statevector amplitudes; the instructions\n"
      "are converted as tavik_core converts them.");
}

}  // namespace tavik::bindings::arrays
