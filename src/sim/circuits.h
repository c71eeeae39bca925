// What tavik.circuits computes from a state: probabilities, marginals,
// samples and Pauli expectation values. Qubit q is bit q of an amplitude's
// index. Every kernel splits its work into blocks fixed by the state's size
// alone and sums each block in index order, then the blocks in block order,
// so its results are the same bits on any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pool/pool.h"
#include "sim/statevector.h"

namespace tavik::sim {

// out[j] = re² + im² of amplitude j (out.size() == state.size()).
void probabilities(std::span<const Amplitude> state, std::span<double> out, pool::Threads threads);

// The work space, in bytes, marginal() takes beyond its result for a state
// of n qubits and k of them kept.
std::size_t marginal_work_bytes(unsigned n, unsigned k);

// The probabilities of the 2^k outcomes of measuring `qubits` (distinct, each
// below n): bit c of an outcome is qubit qubits[c]. out.size() == 2^k.
void marginal(std::span<const Amplitude> state, std::span<const std::uint64_t> qubits, std::span<double> out,
              pool::Threads threads);

// The running sums of the probabilities at the ends of fixed blocks of the
// state (with 0 first): what sample_indices locates draws with, computed
// once for all of them. ValueError when the state has no finite, positive
// total.
std::vector<double> sample_prefix(std::span<const Amplitude> state, pool::Threads threads);

// The basis index drawn for each of `uniforms` (ascending, in [0, 1)): the
// first index whose running sum of probabilities exceeds u × their total, so
// an index of probability zero is never drawn. `prefix` is sample_prefix's.
// out.size() == uniforms.size().
void sample_indices(std::span<const Amplitude> state, std::span<const double> prefix, std::span<const double> uniforms,
                    std::span<std::uint64_t> out, pool::Threads threads);

// ⟨ψ|P_t|ψ⟩ (real, since every Pauli string is Hermitian) for Pauli strings
// P_t = i^{y_t} X^{x} Z^{z_t} (y_t: their Y count, popcount(x & z_t)),
// grouped by their X/Y mask x: group g is terms [ends[g-1], ends[g]) with
// mask x_masks[g]. One pass over the state per group (per 512 of its
// terms), each pair of amplitudes it couples read once. out.size() ==
// z_masks.size(); `progress`, when given, counts the terms done.
void pauli_expectations(std::span<const Amplitude> state, std::span<const std::uint64_t> x_masks,
                        std::span<const std::uint64_t> ends, std::span<const std::uint64_t> z_masks,
                        std::span<double> out, pool::Threads threads, std::uint64_t* progress);

}  // namespace tavik::sim
