# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""Native core of tavik: exact enumeration, simulation, error-correction and analog kernels.

``sim``, ``analog``, ``ecc`` and ``cutting`` are attributes of the extension module, not
importable modules: write ``core.sim.Variable`` or ``from tavik.tavik_core import sim``
(``import tavik.tavik_core.sim`` fails). Their stubs are the private ``tavik._core_<name>``
stub files, which exist for type checkers only.

Conventions shared by every routine:

- A QUBO is a list of ``((i, j), w)`` terms: ``i == j`` is the linear term ``w·x_i``,
  ``i != j`` the quadratic term ``w·x_i·x_j``, x in {0, 1}; duplicates and both orientations
  of a pair all count. Lower energy is better.
- Assignment index: variable (site, qubit) k is bit k of the index, least significant first;
  in spin form a set bit is +1 and a clear bit -1. Exhaustive kernels walk the index upwards
  and ties keep the lowest index.
- Lists are any sequence except ``str``; fixed tuples must be real tuples; counts and indices
  are non-negative ints (anything with ``__index__``), reals anything ``float()`` accepts
  except strings. Results are always new objects; arguments are never modified.
- Errors: conversion failures are ``TypeError`` (prefixed ``"argument '<name>': "``),
  ``ValueError`` or ``OverflowError``; problems past a size limit raise
  :class:`tavik.exceptions.SizeViolation`; an index out of range inside a kernel (or another
  broken internal invariant) raises ``PanicException``, a ``BaseException`` subclass that
  ``except Exception`` does not catch.
"""

from collections.abc import Sequence
from typing import Never, Self, SupportsFloat, SupportsIndex, TypeAlias, final

from . import _core_analog as analog, _core_cutting as cutting, _core_ecc as ecc, _core_sim as sim

__all__ = [
    "StackelbergSolver",
    "EquilibriumScore",
    "apply_detuning_correction",
    "apply_coupling_correction",
    "apply_rabi_correction",
    "qubo_criticality",
    "exact_ising_norm",
    "qubo_energy_spectrum",
    "run_statevector",
    "simulate_qubo_runs",
    "vrp_qubo_terms",
    "build_ecc_lookup_table",
    "logical_failure_probability",
    "stoer_wagner_bisect",
    "sim",
    "analog",
    "ecc",
    "cutting",
]

# What the float conversion takes: float, int, and anything with __float__ or __index__.
_Float: TypeAlias = SupportsFloat | SupportsIndex
# ((i, j), w): one term of a QUBO (or of a quadratic Ising error) term list.
_Term: TypeAlias = tuple[tuple[SupportsIndex, SupportsIndex], _Float]

@final
class StackelbergSolver:
    """Stackelberg co-design solver: scores each validation iteration with a calibration margin κ, picks
    the best iteration and recommends the next chain strength, raising it by a step that shrinks as κ
    oscillates more, and leaving it unchanged once κ reaches target_kappa.

    κ lies in [0, 1]. No range checks are made on the parameters.
    """

    def __new__(cls, target_kappa: _Float, max_iterations: SupportsIndex, learning_rate: _Float) -> Self: ...
    def solve(
        self,
        confidences: Sequence[_Float],
        best_energies: Sequence[_Float],
        second_best_energies: Sequence[_Float],
        chain_break_fractions: Sequence[_Float],
        current_chain_strength: _Float,
    ) -> tuple[float, EquilibriumScore]:
        """Score every iteration (κ = 0.5·confidence + 0.3·min(gap, 10)/10 + 0.2·(1 − chain breaks),
        limited to [0, 1]), pick the best (the later of equal κ) and return
        (recommended_chain_strength, best_score). Lists shorter than confidences, an empty
        confidences list, or NaN κ among several iterations raise PanicException.

        Entry t of each list belongs to iteration t; gap is ``|second_best − best|`` and the chain-break
        fraction is clamped to [0, 1] first. If the best κ is below ``target_kappa`` the strength is
        multiplied by ``1 + learning_rate·(1 − p)·(1 − κ)``, p = min(5·σ(κ), 0.9) with σ(κ) the
        ``kappa_std`` of the scores; otherwise it is returned unchanged.
        """

    @property
    def target_kappa(self) -> float:
        """Convergence target for κ."""

    @property
    def max_iterations(self) -> int:
        """Maximum number of iterations before stopping.

        Stored only: ``solve`` does not read it.
        """

    @property
    def learning_rate(self) -> float:
        """Base multiplicative step size for chain-strength adjustment."""

@final
class EquilibriumScore:
    """Equilibrium score for a single Stackelberg iteration.

    No constructor: instances come from :meth:`StackelbergSolver.solve`.
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def kappa(self) -> float:
        """Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy."""

    @property
    def confidence(self) -> float:
        """Raw confidence from the validator."""

    @property
    def energy_gap(self) -> float:
        """Absolute energy gap between best and second-best solution."""

    @property
    def iterations(self) -> int:
        """Number of solver iterations taken to reach this score.

        It is the 0-based index of the scored iteration.
        """

    @property
    def kappa_std(self) -> float:
        """Standard deviation of κ across all scored iterations (0.0 if < 2)."""

def apply_detuning_correction(
    detunings: Sequence[_Float], offsets: Sequence[tuple[SupportsIndex, _Float]]
) -> list[float]:
    """Pre-distort site detunings against measured offsets: a new list with detunings[k] - offset of site k
    (0.0 for a site without one). offsets is a list of (site_index, offset); the last offset given for a
    site wins and sites past the end of detunings are ignored.

    The results are in the detunings' own units.
    """

def apply_coupling_correction(
    couplings: Sequence[_Term], errors: Sequence[_Term]
) -> list[tuple[tuple[int, int], float]]:
    """Pre-distort couplings ((i, j), J) against measured fractional errors ((i, j), e): a new list with
    J / max(e + 1.0, 0.01) where the ordered pair (i, j) has an error (the last one given wins) and J
    unchanged otherwise. A NaN error divides by 0.01.

    (j, i) is a different pair from (i, j); results keep the order of ``couplings``.
    """

def apply_rabi_correction(rabi_frequency: _Float, global_rabi_error: _Float) -> float:
    """Pre-distort the global Rabi frequency against the measured fractional drive error:
    rabi_frequency / max(global_rabi_error + 1.0, 0.01). A NaN error divides by 0.01.

    An error of 0.0 is a perfect drive.
    """

def qubo_criticality(qubo: Sequence[_Term], n_vars: SupportsIndex) -> list[tuple[int, float]]:
    """Rank the variables 0 … n_vars-1 of a QUBO ((i, j), w) term list by criticality, the sum of |w|
    over the terms touching them (a linear term counted once; a term with an index >= n_vars
    ignored): (variable, criticality) pairs, descending, ties in index order. A NaN criticality
    among two or more variables raises PanicException.
    """

def exact_ising_norm(dh: Sequence[tuple[SupportsIndex, _Float]], dj: Sequence[_Term], n_sites: SupportsIndex) -> float:
    """Exact operator norm of a diagonal Ising error Hamiltonian: the largest |ΔE| over all 2^n_sites spin
    configurations, ΔE = Σ Δh·s_site + Σ ΔJ·s_i·s_j (linear terms first, each list in order). NaN
    energies are ignored. n_sites ≤ 20, else SizeViolation; a site ≥ n_sites raises PanicException.

    ``dh`` holds ``(site, Δh)`` and ``dj`` holds ``((i, j), ΔJ)`` (either orientation; ``i == j``
    adds ΔJ); s_k is +1 when bit k of the configuration index is set and -1 when clear. Without
    terms the norm is 0.0.
    """

def qubo_energy_spectrum(qubo: Sequence[_Term], n_vars: SupportsIndex) -> tuple[list[int], float, list[float]]:
    """Evaluate a QUBO ((i, j), w) term list on all 2^n_vars 0/1 assignments (variable k is bit k of the
    assignment index). Returns (best_assignment, best_energy, sorted_distinct_energies): the first
    strict minimum, its energy as accumulated, and the ascending energies rounded to 1e-9 with equal
    roundings merged. n_vars ≤ 20, else SizeViolation; an index ≥ n_vars raises PanicException.

    ``best_assignment`` holds n_vars ints, 0 or 1; n_vars = 0 gives ``([], 0.0, [0.0])``.
    """

def run_statevector(
    instructions: Sequence[tuple[str, Sequence[SupportsIndex], Sequence[_Float]]], n_qubits: SupportsIndex
) -> list[tuple[float, float]]:
    """Run a gate list on |0…0⟩ of n_qubits ≤ 24 qubits (qubit q is bit q of the basis index) and return
    the 2^n_qubits amplitudes as (real, imag) tuples. Instructions are (gate_name, qubit_indices,
    params): one index for h, x, y, z, s, t, rx, ry, rz (θ) and u (θ, φ, λ); two or more for cx, cz
    and swap (extra indices ignored). Unknown gates raise ValueError; an empty index list, a missing
    parameter or a target beyond the state raises PanicException; n_qubits > 24 raises SizeViolation.

    Angles are in radians. Gate names are case-sensitive, and a name is unknown (ValueError) for a
    number of indices it does not take. Memory: 16·2^n_qubits bytes for the state, plus the
    returned tuples.
    """

def simulate_qubo_runs(
    qubo: Sequence[_Term],
    base_bits: Sequence[SupportsIndex],
    n_runs: SupportsIndex,
    noise_level: _Float,
    seed: SupportsIndex,
) -> tuple[list[list[int]], list[float]]:
    """Simulate n_runs noisy runs of a QUBO: each run copies base_bits and flips every entry (b → 1 − b)
    when its SplitMix64 draw from seed is below noise_level, one draw per entry in run order. Returns
    (assignments, energies), the energies summed in term order. With n_runs > 0, a term index
    ≥ len(base_bits) raises PanicException. Results do not depend on the number of threads.

    ``base_bits`` holds 0/1 values; any value in 0..255 is carried, one outside it raises
    OverflowError. Energies are summed on a worker pool.
    """

def vrp_qubo_terms(
    dist: Sequence[Sequence[_Float]], penalty_a: _Float, penalty_b: _Float
) -> dict[tuple[str, str], float]:
    """One-hot tour QUBO of a routing instance with the n × n distance matrix dist: every term of
    A·Σ_i(1 - Σ_t x_it)² + A·Σ_t(1 - Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,(t+1 mod n), constants
    dropped, as a dict {(name, name): value} over the variables 'x_{i}_{t}' (node i at position t).
    Each key's names are in string order; entries are inserted by variable index (n·i + t) of the
    key's first, then second name. ValueError if dist is not square.

    n²(2n − 1) entries for n >= 3. A ragged ``dist`` is not square either (ValueError "distance
    matrix must be square").
    """

def build_ecc_lookup_table(
    n_data: SupportsIndex, z_stabilizers: Sequence[Sequence[SupportsIndex]]
) -> list[tuple[list[int], list[int]]]:
    """Minimum-weight lookup decoder of a code under bit flips: (syndrome_bits, error_bits) for every
    syndrome some flip pattern produces, ascending by syndrome (stabilizer 0 is the low bit).
    Equal-weight candidates go to the first pattern met walking with qubit 0 varying slowest.
    n_data <= 26 and at most 32 stabilizers (SizeViolation); a support index >= n_data raises
    ValueError. Memory grows with the number of producible syndromes (at most 2^n_data).

    Syndrome bit i is the parity of stabilizer i; error bit q flips data qubit q.
    """

def logical_failure_probability(
    n_data: SupportsIndex,
    z_stabilizers: Sequence[Sequence[SupportsIndex]],
    logical_z: Sequence[SupportsIndex],
    physical_error_rate: _Float,
) -> float:
    """Exact probability that independent bit flips of the given rate, corrected by the lookup
    decoder of build_ecc_lookup_table, leave a residual that anticommutes with logical_z: a sum
    over all 2^n_data patterns in ascending order. Limits and errors as build_ecc_lookup_table,
    then ValueError for a logical_z index >= n_data. The rate is not range-checked.

    ``physical_error_rate`` is the per-qubit flip probability.
    """

def stoer_wagner_bisect(
    edges: Sequence[tuple[SupportsIndex, SupportsIndex, _Float]], n_nodes: SupportsIndex
) -> tuple[float, list[int]]:
    """Split nodes 0..n_nodes-1 of a weighted undirected graph, given as (i, j, weight) edges, along a
    global minimum cut (Stoer–Wagner, deterministic). Returns (cut_weight, side): side is one part
    (not sorted), the other part is every remaining node. Weights should be non-negative for the cut
    to be minimal. ValueError if n_nodes < 2 or no finite cut exists; an endpoint ≥ n_nodes raises
    PanicException. Memory: a sparse graph (n_nodes² > 16 × edges + 512 × n_nodes) is kept as
    adjacency lists, in memory proportional to n_nodes + edges, and the nodes left move to a
    matrix only once merging makes the graph dense and the matrix fits; a denser graph takes an
    n_nodes × n_nodes matrix of floats from the start. Every way gives the same result.

    Parallel edges sum; self-loops do nothing.
    """
