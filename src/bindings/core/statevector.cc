#include "bindings/core/bindings.h"
#include "bindings/core/convert/amplitudes.h"
#include "bindings/core/result_costs.h"
#include "sim/statevector.h"

namespace tavik::bindings {
namespace {

// On the calling thread, told what the amplitudes cost as Python objects.
sim::StateVector run_statevector(const std::vector<sim::Instruction>& instructions, std::uint64_t n_qubits) {
  return sim::run_statevector(instructions, n_qubits, kAmplitudeBytes, pool::Threads::caller);
}

}  // namespace

void register_statevector(py::Module& m) {
  m.def<&run_statevector, "run_statevector(instructions, n_qubits)">(
      "Run a gate list on |0…0⟩ of n_qubits ≤ 24 qubits (qubit q is bit q of the basis index) and return\n"
      "the 2^n_qubits amplitudes as (real, imag) tuples. Instructions are (gate_name, qubit_indices,\n"
      "params): one index for h, x, y, z, s, t, rx, ry, rz (θ) and u (θ, φ, λ); two or more for cx, cz\n"
      "and swap (extra indices ignored). Unknown gates raise ValueError; an empty index list, a missing\n"
      "parameter or a target beyond the state raises PanicException; n_qubits > 24 raises SizeViolation.");
}

}  // namespace tavik::bindings
