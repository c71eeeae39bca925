#include <vector>

#include "bindings/arrays/bindings.h"
#include "sim/statevector.h"

namespace tavik::bindings::arrays {
namespace {

py::Ref run_statevector(const std::vector<sim::Instruction>& instructions, std::uint64_t n_qubits) {
  const unsigned n = sim::statevector_qubits(n_qubits);
  auto state = new_array<sim::Amplitude>(std::size_t{1} << n);
  {
    const Unlocked unlocked;
    sim::run_statevector(instructions, n, state.span, pool::Threads::pool);
  }
  return std::move(state.object);
}

}  // namespace

void register_statevector(py::Module& m) {
  m.def<&run_statevector, "run_statevector(instructions, n_qubits)">(
      "The state (2^n_qubits complex128, as a buffer) with tavik_core's run_statevector amplitudes; the\n"
      "instructions are converted as tavik_core converts them.");
}

}  // namespace tavik::bindings::arrays
