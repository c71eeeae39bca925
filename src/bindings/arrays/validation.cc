#include "arrays/views.h"
#include "bindings/arrays/bindings.h"
#include "validation/noisy_runs.h"

namespace tavik::bindings::arrays {
namespace {

void simulate_qubo_runs(In<std::uint64_t> rows, In<std::uint64_t> cols, In<double> weights,
                        In<std::uint8_t> base_bits, double noise_level, std::uint64_t seed, Out<std::uint8_t> runs,
                        Out<double> energies) {
  const QuboView qubo = tavik::arrays::qubo_view(rows, cols, weights);
  tavik::arrays::require_size(runs.span().size(), energies.span().size() * base_bits.span().size(), "runs");
  const Unlocked unlocked;
  tavik::simulate_qubo_runs(qubo, base_bits, noise_level, seed, runs, energies, pool::Threads::pool);
}

}  // namespace

void register_validation(py::Module& m) {
  m.def<&simulate_qubo_runs,
        "simulate_qubo_runs(rows, cols, weights, base_bits, noise_level, seed, runs, energies)">(
      "Fill runs (n_runs × len(base_bits) bytes) and energies (n_runs floats) as tavik_core's\n"
      "simulate_qubo_runs computes them.");
}

}  // namespace tavik::bindings::arrays
