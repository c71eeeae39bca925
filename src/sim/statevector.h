// Dense statevector simulation of a gate list. Qubit q is bit q of the basis
// index, qubit 0 the least significant bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/big_buffer.h"
#include "pool/pool.h"

namespace tavik::sim {

struct Amplitude {
  double re;
  double im;
};

// The 2^n amplitudes of a state: one allocation of 16·2^n bytes.
class StateVector {
 public:
  explicit StateVector(unsigned n_qubits);

  std::size_t size() const { return size_; }
  Amplitude* data() { return amplitudes_.get(); }
  const Amplitude* data() const { return amplitudes_.get(); }

 private:
  BigBuffer<Amplitude> amplitudes_;
  std::size_t size_;
};

// (gate_name, qubit_indices, params)
using Instruction = std::tuple<std::string, std::vector<std::uint64_t>, std::vector<double>>;

inline constexpr std::uint64_t kMaxStatevectorQubits = 24;

// n_qubits as a state's width: SizeViolation beyond 24.
unsigned statevector_qubits(std::uint64_t n_qubits);

// Runs the instructions in order on |0…0⟩ of n_qubits qubits (as
// statevector_qubits gives) in `state`, the caller's 2^n_qubits amplitudes;
// the same on any number of threads. An unknown gate, a missing parameter,
// an empty qubit list or a target beyond the state is a broken input rule
// (InputError). Every instruction is checked before `state` is written.
void run_statevector(const std::vector<Instruction>& instructions, unsigned n_qubits, std::span<Amplitude> state,
                     pool::Threads threads);

// tavik.circuits' gates, as (name, qubits, parameters): the core's, and
// others written as a 2×2 matrix on the last qubit controlled by the rest.
std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> circuit_gates();

// Runs a circuit of those gates on |0…0⟩ of n_qubits qubits (any n_qubits
// whose state the caller could allocate) in `state`. The core's gates run
// exactly as run_statevector runs them, so a circuit of those alone gives its
// bits. Every instruction is checked first: an unknown gate, a wrong count of
// qubits or parameters, a qubit beyond the state or named twice is a
// ValueError naming the instruction ("circuit[k]: ..."). `fuse` merges each
// run of single-qubit gates on one qubit into one matrix first: fewer passes
// of arithmetic, and amplitudes then equal to rounding rather than bit for
// bit. `progress`, when given, counts the operations done; returns how many
// there are.
std::uint64_t run_circuit(const std::vector<Instruction>& instructions, unsigned n_qubits, bool fuse,
                          std::span<Amplitude> state, pool::Threads threads, std::uint64_t* progress);

// The same into a new state, MemoryError up front unless it fits with
// `result_bytes_per_amplitude` more for each amplitude: what the caller's
// form of the result costs.
StateVector run_statevector(const std::vector<Instruction>& instructions, std::uint64_t n_qubits,
                            std::size_t result_bytes_per_amplitude, pool::Threads threads);

}  // namespace tavik::sim
