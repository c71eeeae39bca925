#include "bindings/core/bindings.h"
#include "bindings/core/convert/columns.h"
#include "bindings/core/convert/noisy_runs.h"
#include "bindings/core/result_costs.h"
#include "validation/noisy_runs.h"

namespace tavik::bindings {
namespace {

py::NoisyRunsResult simulate_qubo_runs(QuboView qubo, std::vector<std::uint8_t> base_bits,
                                       std::uint64_t n_runs, double noise_level, std::uint64_t seed) {
  NoisyRuns result = tavik::simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed, kRunsCost);
  return {std::move(result), std::move(base_bits)};
}

}  // namespace

void register_noisy_runs(py::Module& m) {
  m.def<&simulate_qubo_runs, "simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed)">(
      "Simulate n_runs noisy runs of a QUBO: each run copies base_bits and flips every entry (b → 1 − b)\n"
      "when its SplitMix64 draw from seed is below noise_level, one draw per entry in run order. Returns\n"
      "(assignments, energies), the energies summed in term order. With n_runs > 0, a term index\n"
      "≥ len(base_bits) raises PanicException. Results do not depend on the number of threads.");
}

}  // namespace tavik::bindings
