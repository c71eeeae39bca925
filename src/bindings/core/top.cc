#include "bindings/core/bindings.h"
#include "analog/corrections.h"
#include "ecc/decoder.h"
#include "ecc/selector.h"
#include "partition/stoer_wagner.h"
#include "bindings/core/convert/amplitudes.h"
#include "bindings/core/convert/columns.h"
#include "bindings/core/convert/vrp_qubo.h"
#include "bindings/core/convert/lookup_table.h"
#include "bindings/core/convert/run_assignments.h"
#include "bindings/core/result_costs.h"
#include "codesign/scoring.h"
#include "sim/ising_backend.h"
#include "sim/statevector_backend.h"
#include "codesign/stackelberg.h"
#include "validation/noisy_runs.h"

namespace tavik::bindings {
namespace {

// The kernels as this face calls them: told what its results cost, and
// handed its converted arguments.

ecc::Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars) {
  return ecc::qubo_criticality(qubo, n_vars, kRankedVariableBytes);
}

// This face runs the enumerations and the statevector on the calling thread.
double exact_ising_norm(sim::FieldView dh, QuboView dj, std::uint64_t n_sites) {
  return sim::exact_ising_norm(dh, dj, n_sites, pool::Threads::caller);
}

sim::Spectrum qubo_energy_spectrum(QuboView qubo, std::uint64_t n_vars) {
  return sim::qubo_energy_spectrum(qubo, n_vars, pool::Threads::caller);
}

sim::StateVector run_statevector(const std::vector<sim::Instruction>& instructions, std::uint64_t n_qubits) {
  return sim::run_statevector(instructions, n_qubits, kAmplitudeBytes, pool::Threads::caller);
}

py::NoisyRunsResult simulate_qubo_runs(QuboView qubo, std::vector<std::uint8_t> base_bits,
                                       std::uint64_t n_runs, double noise_level, std::uint64_t seed) {
  NoisyRuns result = tavik::simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed, kRunsCost);
  return {std::move(result), std::move(base_bits)};
}

VrpQubo vrp_qubo_terms(DistanceView dist, double penalty_a, double penalty_b) {
  // Refused before the kernel reads dist: the converter keeps no values of a
  // square matrix this large.
  if (vrp_nodes(dist) > vrp_max_nodes(kVrpEntryBytes)) throw std::bad_alloc();
  return VrpQubo(dist, penalty_a, penalty_b);
}

// Stabilizer supports as lists, laid out as the compressed rows the decoder reads.
class FlatSupports {
 public:
  explicit FlatSupports(const std::vector<std::vector<std::uint64_t>>& supports) {
    starts_.reserve(supports.size() + 1);
    starts_.push_back(0);
    for (const auto& support : supports) {
      qubits_.insert(qubits_.end(), support.begin(), support.end());
      starts_.push_back(qubits_.size());
    }
  }
  ecc::SupportRows rows() const { return {starts_, qubits_}; }

 private:
  std::vector<std::uint64_t> starts_, qubits_;
};

ecc::LookupTable build_ecc_lookup_table(std::uint64_t n_data,
                                        const std::vector<std::vector<std::uint64_t>>& z_stabilizers) {
  return ecc::build_ecc_lookup_table(ecc::lookup_shape(n_data, FlatSupports(z_stabilizers).rows(), kLookupRowCost),
                                     pool::Threads::caller);
}

double logical_failure_probability(std::uint64_t n_data, const std::vector<std::vector<std::uint64_t>>& z_stabilizers,
                                   const std::vector<std::uint64_t>& logical_z, double physical_error_rate) {
  return ecc::FailureSet(n_data, FlatSupports(z_stabilizers).rows(), logical_z, pool::Threads::caller)
      .probability(physical_error_rate);
}

}  // namespace

void register_top_level(py::Module& m) {
  m.add(py::Class<StackelbergSolver, "StackelbergSolver(target_kappa, max_iterations, learning_rate)">(
      "Stackelberg co-design solver: scores each validation iteration with a calibration margin κ, picks\n"
      "the best iteration and recommends the next chain strength, raising it by a step that shrinks as κ\n"
      "oscillates more, and leaving it unchanged once κ reaches target_kappa.")
            .init<double, std::uint64_t, double>()
            .get<&StackelbergSolver::target_kappa>("target_kappa", "Convergence target for κ.")
            .get<&StackelbergSolver::max_iterations>("max_iterations", "Maximum number of iterations before stopping.")
            .get<&StackelbergSolver::learning_rate>("learning_rate",
                                                    "Base multiplicative step size for chain-strength adjustment.")
            .method<&StackelbergSolver::solve,
                    "solve($self, confidences, best_energies, second_best_energies, chain_break_fractions, "
                    "current_chain_strength)">(
                "Score every iteration (κ = 0.5·confidence + 0.3·min(gap, 10)/10 + 0.2·(1 − chain breaks),\n"
                "limited to [0, 1]), pick the best (the later of equal κ) and return\n"
                "(recommended_chain_strength, best_score). Lists shorter than confidences, an empty\n"
                "confidences list, or NaN κ among several iterations raise PanicException."));
  m.add(py::Class<EquilibriumScore, "EquilibriumScore">("Equilibrium score for a single Stackelberg iteration.")
            .get<&EquilibriumScore::kappa>("kappa", "Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy.")
            .get<&EquilibriumScore::confidence>("confidence", "Raw confidence from the validator.")
            .get<&EquilibriumScore::energy_gap>("energy_gap", "Absolute energy gap between best and second-best solution.")
            .get<&EquilibriumScore::iterations>("iterations", "Number of solver iterations taken to reach this score.")
            .get<&EquilibriumScore::kappa_std>("kappa_std",
                                               "Standard deviation of κ across all scored iterations (0.0 if < 2).")
            .repr<&EquilibriumScore::repr>()
            .rebuild<&equilibrium_score_from_fields, "(kappa, confidence, energy_gap, iterations, kappa_std)">());
  m.def<&apply_detuning_correction, "apply_detuning_correction(detunings, offsets)">(
      "Pre-distort site detunings against measured offsets: a new list with detunings[k] - offset of site k\n"
      "(0.0 for a site without one). offsets is a list of (site_index, offset); the last offset given for a\n"
      "site wins and sites past the end of detunings are ignored.");
  m.def<&apply_coupling_correction, "apply_coupling_correction(couplings, errors)">(
      "Pre-distort couplings ((i, j), J) against measured fractional errors ((i, j), e): a new list with\n"
      "J / max(e + 1.0, 0.01) where the ordered pair (i, j) has an error (the last one given wins) and J\n"
      "unchanged otherwise. A NaN error divides by 0.01.");
  m.def<&apply_rabi_correction, "apply_rabi_correction(rabi_frequency, global_rabi_error)">(
      "Pre-distort the global Rabi frequency against the measured fractional drive error:\n"
      "rabi_frequency / max(global_rabi_error + 1.0, 0.01). A NaN error divides by 0.01.");
  m.def<&qubo_criticality, "qubo_criticality(qubo, n_vars)">(
      "Rank the variables 0 … n_vars-1 of a QUBO ((i, j), w) term list by criticality, the sum of |w|\n"
      "over the terms touching them (a linear term counted once; a term with an index >= n_vars\n"
      "ignored): (variable, criticality) pairs, descending, ties in index order. A NaN criticality\n"
      "among two or more variables raises PanicException.");
  m.def<&exact_ising_norm, "exact_ising_norm(dh, dj, n_sites)">(
      "Exact operator norm of a diagonal Ising error Hamiltonian: the largest |ΔE| over all 2^n_sites spin\n"
      "configurations, ΔE = Σ Δh·s_site + Σ ΔJ·s_i·s_j (linear terms first, each list in order). NaN\n"
      "energies are ignored. n_sites ≤ 20, else SizeViolation; a site ≥ n_sites raises PanicException.");
  m.def<&qubo_energy_spectrum, "qubo_energy_spectrum(qubo, n_vars)">(
      "Evaluate a QUBO ((i, j), w) term list on all 2^n_vars 0/1 assignments (variable k is bit k of the\n"
      "assignment index). Returns (best_assignment, best_energy, sorted_distinct_energies): the first\n"
      "strict minimum, its energy as accumulated, and the ascending energies rounded to 1e-9 with equal\n"
      "roundings merged. n_vars ≤ 20, else SizeViolation; an index ≥ n_vars raises PanicException.");
  m.def<&run_statevector, "run_statevector(instructions, n_qubits)">(
      "Run a gate list on |0…0⟩ of n_qubits ≤ 24 qubits (qubit q is bit q of the basis index) and return\n"
      "the 2^n_qubits amplitudes as (real, imag) tuples. Instructions are (gate_name, qubit_indices,\n"
      "params): one index for h, x, y, z, s, t, rx, ry, rz (θ) and u (θ, φ, λ); two or more for cx, cz\n"
      "and swap (extra indices ignored). Unknown gates raise ValueError; an empty index list, a missing\n"
      "parameter or a target beyond the state raises PanicException; n_qubits > 24 raises SizeViolation.");
  m.def<&simulate_qubo_runs, "simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed)">(
      "Simulate n_runs noisy runs of a QUBO: each run copies base_bits and flips every entry (b → 1 − b)\n"
      "when its SplitMix64 draw from seed is below noise_level, one draw per entry in run order. Returns\n"
      "(assignments, energies), the energies summed in term order. With n_runs > 0, a term index\n"
      "≥ len(base_bits) raises PanicException. Results do not depend on the number of threads.");
  m.def<&vrp_qubo_terms, "vrp_qubo_terms(dist, penalty_a, penalty_b)">(
      "One-hot tour QUBO of a routing instance with the n × n distance matrix dist: every term of\n"
      "A·Σ_i(1 - Σ_t x_it)² + A·Σ_t(1 - Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,(t+1 mod n), constants\n"
      "dropped, as a dict {(name, name): value} over the variables 'x_{i}_{t}' (node i at position t).\n"
      "Each key's names are in string order; entries are inserted by variable index (n·i + t) of the\n"
      "key's first, then second name. ValueError if dist is not square.");
  m.def<&build_ecc_lookup_table, "build_ecc_lookup_table(n_data, z_stabilizers)">(
      "Minimum-weight lookup decoder of a code under bit flips: (syndrome_bits, error_bits) for every\n"
      "syndrome some flip pattern produces, ascending by syndrome (stabilizer 0 is the low bit).\n"
      "Equal-weight candidates go to the first pattern met walking with qubit 0 varying slowest.\n"
      "n_data <= 26 and at most 32 stabilizers (SizeViolation); a support index >= n_data raises\n"
      "ValueError. Memory grows with the number of producible syndromes (at most 2^n_data).");
  m.def<&logical_failure_probability,
        "logical_failure_probability(n_data, z_stabilizers, logical_z, physical_error_rate)">(
      "Exact probability that independent bit flips of the given rate, corrected by the lookup\n"
      "decoder of build_ecc_lookup_table, leave a residual that anticommutes with logical_z: a sum\n"
      "over all 2^n_data patterns in ascending order. Limits and errors as build_ecc_lookup_table,\n"
      "then ValueError for a logical_z index >= n_data. The rate is not range-checked.");
  m.def<&stoer_wagner_bisect, "stoer_wagner_bisect(edges, n_nodes)">(
      "Split nodes 0..n_nodes-1 of a weighted undirected graph, given as (i, j, weight) edges, along a\n"
      "global minimum cut (Stoer–Wagner, deterministic). Returns (cut_weight, side): side is one part\n"
      "(not sorted), the other part is every remaining node. Weights should be non-negative for the cut\n"
      "to be minimal. ValueError if n_nodes < 2 or no finite cut exists; an endpoint ≥ n_nodes raises\n"
      "PanicException. Memory: an n_nodes × n_nodes matrix of floats.");
}

}  // namespace tavik::bindings
