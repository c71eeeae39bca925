#include <tuple>

#include "bindings/arrays/bindings.h"
#include "validation/noisy_runs.h"

namespace tavik::bindings::arrays {
namespace {

std::tuple<py::Ref, py::Ref> simulate_qubo_runs(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols,
                                                In<double> weights, Copied<std::uint8_t> base_bits,
                                                std::uint64_t n_runs, double noise_level, std::uint64_t seed) {
  const QuboView qubo = tavik::arrays::qubo_view(rows, cols, weights);
  const std::size_t n = base_bits.span().size();
  require_runs_memory(n, n_runs, {0, 0});
  auto runs = new_array<std::uint8_t>(n_runs * n);
  auto energies = new_array<double>(n_runs);
  {
    const Unlocked unlocked;
    tavik::simulate_qubo_runs(qubo, base_bits, noise_level, seed, runs.span, energies.span, pool::Threads::pool);
  }
  return {std::move(runs.object), std::move(energies.object)};
}

}  // namespace

void register_noisy_runs(py::Module& m) {
  m.def<&simulate_qubo_runs, "simulate_qubo_runs(rows, cols, weights, base_bits, n_runs, noise_level, seed)">(
      "(runs, energies) as buffers: n_runs × len(base_bits) bytes and n_runs float64, as tavik_core's\n"
      "simulate_qubo_runs computes them.");
}

}  // namespace tavik::bindings::arrays
