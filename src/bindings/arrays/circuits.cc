// Private functions behind tavik.circuits, which reads circuits into the
// core's instruction form and checks states and observables first.
#include <algorithm>
#include <tuple>
#include <vector>

#include "bindings/arrays/bindings.h"
#include "common/errors.h"
#include "common/memory.h"
#include "platform/memory_limit.h"
#include "sim/circuits.h"
#include "sim/statevector.h"

namespace tavik::bindings::arrays {
namespace {

unsigned qubits_of(std::size_t size) { return static_cast<unsigned>(std::countr_zero(size)); }

py::Ref run_circuit(const std::vector<sim::Instruction>& instructions, std::uint64_t n_qubits, std::uint64_t fuse,
                    Out<std::uint64_t> progress) {
  tavik::arrays::require_size(progress.span().size(), 1, "progress");
  // Past 62 qubits no count of amplitudes fits a size_t's range of bytes.
  if (n_qubits > 62) throw std::bad_alloc();
  auto state = new_array<sim::Amplitude>(std::size_t{1} << n_qubits);
  {
    const Unlocked unlocked;
    sim::run_circuit(instructions, static_cast<unsigned>(n_qubits), fuse != 0, state.span, pool::Threads::pool,
                     progress.span().data());
  }
  return std::move(state.object);
}

py::Ref probabilities(In<sim::Amplitude> state) {
  auto out = new_array<double>(state.span().size());
  {
    const Unlocked unlocked;
    sim::probabilities(state, out.span, pool::Threads::pool);
  }
  return std::move(out.object);
}

py::Ref marginal(In<sim::Amplitude> state, Copied<std::uint64_t> qubits) {
  const std::size_t k = qubits.span().size();
  // tavik.circuits has checked them; an index past the state would read past it.
  for (const std::uint64_t q : qubits.span())
    if (q >= qubits_of(state.span().size())) throw ValueError("qubits: a qubit beyond the state");
  if (k > qubits_of(state.span().size())) throw ValueError("qubits: more than the state has");
  require_memory(1, (std::size_t{1} << k) * sizeof(double) +
                        sim::marginal_work_bytes(qubits_of(state.span().size()), static_cast<unsigned>(k)), 1);
  auto out = new_array<double>(std::size_t{1} << k);
  {
    const Unlocked unlocked;
    sim::marginal(state, qubits, out.span, pool::Threads::pool);
  }
  return std::move(out.object);
}

py::Ref sample_prefix(In<sim::Amplitude> state) {
  std::vector<double> prefix;
  {
    const Unlocked unlocked;
    prefix = sim::sample_prefix(state, pool::Threads::pool);
  }
  auto out = new_array<double>(prefix.size());
  std::copy(prefix.begin(), prefix.end(), out.span.begin());
  return std::move(out.object);
}

py::Ref sample(In<sim::Amplitude> state, Copied<double> prefix, In<double> uniforms) {
  auto out = new_array<std::uint64_t>(uniforms.span().size());
  {
    const Unlocked unlocked;
    sim::sample_indices(state, prefix, uniforms, out.span, pool::Threads::pool);
  }
  return std::move(out.object);
}

py::Ref expectations(In<sim::Amplitude> state, Copied<std::uint64_t> x_masks, Copied<std::uint64_t> ends,
                     Copied<std::uint64_t> z_masks, Out<std::uint64_t> progress) {
  tavik::arrays::require_size(progress.span().size(), 1, "progress");
  tavik::arrays::require_size(ends.span().size(), x_masks.span().size(), "ends");
  if (!ends.span().empty() && ends.span().back() != z_masks.span().size())
    throw ValueError("ends: the last group must end at the last term");
  for (std::size_t g = 1; g < ends.span().size(); ++g)
    if (ends.span()[g] < ends.span()[g - 1]) throw ValueError("ends: must not decrease");
  for (const std::uint64_t x : x_masks.span())
    if (x >= state.span().size()) throw ValueError("x_masks: a qubit beyond the state");
  auto out = new_array<double>(z_masks.span().size());
  {
    const Unlocked unlocked;
    sim::pauli_expectations(state, x_masks, ends, z_masks, out.span, pool::Threads::pool, progress.span().data());
  }
  return std::move(out.object);
}

std::uint64_t memory_available() { return platform::memory_available(); }

}  // namespace

void register_circuits(py::Module& m) {
  m.def<&sim::circuit_gates, "circuit_gates()">(
      "[(name, qubits, parameters)]: the gates run_circuit runs; every qubit but the last controls the gate.");
  m.def<&run_circuit, "run_circuit(instructions, n_qubits, fuse, progress)">(
      "The state (2^n_qubits complex128, as a buffer) after the instructions, the core's gates exactly as\n"
      "run_statevector runs them unless fuse (nonzero) merges runs of single-qubit gates on a qubit;\n"
      "progress[0] counts the gates done.");
  m.def<&probabilities, "circuit_probabilities(state)">("A float64 buffer: re² + im² of each amplitude.");
  m.def<&marginal, "circuit_marginal(state, qubits)">(
      "A float64 buffer of 2^len(qubits) probabilities; bit c of an outcome is qubit qubits[c].");
  m.def<&sample_prefix, "circuit_sample_prefix(state)">(
      "A float64 buffer: the running sums of the probabilities at the ends of the blocks sampling uses.");
  m.def<&sample, "circuit_sample(state, prefix, uniforms)">(
      "A uint64 buffer: the basis index drawn for each of the ascending uniforms in [0, 1), prefix as\n"
      "circuit_sample_prefix gives it.");
  m.def<&expectations, "circuit_expectations(state, x_masks, ends, z_masks, progress)">(
      "A float64 buffer: each Pauli string's expectation; group g (X/Y mask x_masks[g]) is terms\n"
      "[ends[g-1], ends[g]), each given by its Z/Y mask; progress[0] counts the terms done.");
  m.def<&memory_available, "memory_available()">(
      "The bytes this process may still allocate, as the memory guard counts them.");
}

}  // namespace tavik::bindings::arrays
