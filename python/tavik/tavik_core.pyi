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
    """Stackelberg co-design solver: turns validation statistics into the next chain strength.

    Scores each iteration with a calibration margin κ in [0, 1], picks the best iteration and
    recommends the next chain strength: unchanged once κ reaches ``target_kappa``, otherwise
    raised by a step that shrinks as κ oscillates more. No range checks are made on the
    parameters.
    """

    def __new__(cls, target_kappa: _Float, max_iterations: SupportsIndex, learning_rate: _Float) -> Self: ...
    @property
    def target_kappa(self) -> float:
        """Convergence target for κ."""

    @property
    def max_iterations(self) -> int:
        """Maximum number of iterations before stopping (stored only; ``solve`` does not read it)."""

    @property
    def learning_rate(self) -> float:
        """Base multiplicative step size for chain-strength adjustment."""

    def solve(
        self,
        confidences: Sequence[_Float],
        best_energies: Sequence[_Float],
        second_best_energies: Sequence[_Float],
        chain_break_fractions: Sequence[_Float],
        current_chain_strength: _Float,
    ) -> tuple[float, EquilibriumScore]:
        """Score every iteration, pick the best and return ``(recommended_chain_strength, best_score)``.

        Entry t of each list belongs to iteration t; κ = 0.5·confidence + 0.3·min(gap, 10)/10
        + 0.2·(1 − chain-break fraction, clamped to [0, 1]), clamped to [0, 1], where gap is
        ``|second_best − best|``. The later of equal κ wins. If the best κ is below
        ``target_kappa`` the strength is multiplied by ``1 + learning_rate·(1 − p)·(1 − κ)``,
        p = min(5·σ(κ), 0.9); otherwise it is returned unchanged.

        Raises PanicException for an empty ``confidences``, any other list shorter than it,
        or a NaN κ among two or more iterations.
        """

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
        """Number of solver iterations taken to reach this score (the 0-based iteration index)."""

    @property
    def kappa_std(self) -> float:
        """Standard deviation of κ across all scored iterations (0.0 if < 2)."""

def apply_detuning_correction(detunings: Sequence[_Float], offsets: Sequence[tuple[SupportsIndex, _Float]]) -> list[float]:
    """Pre-distort site detunings against measured offsets.

    Returns a new list with ``detunings[k] - offset`` of site k (0.0 for a site without one),
    in the detunings' own units. ``offsets`` holds ``(site_index, offset)``; the last offset
    given for a site wins and sites past the end of ``detunings`` are ignored.
    """

def apply_coupling_correction(
    couplings: Sequence[_Term], errors: Sequence[_Term]
) -> list[tuple[tuple[int, int], float]]:
    """Pre-distort couplings ``((i, j), J)`` against measured fractional errors ``((i, j), e)``.

    Returns ``((i, j), J / max(e + 1.0, 0.01))`` where the ordered pair (i, j) has an error
    (the last one given wins; (j, i) is a different pair) and ``((i, j), J)`` otherwise, in
    the order of ``couplings``. A NaN error divides by 0.01.
    """

def apply_rabi_correction(rabi_frequency: _Float, global_rabi_error: _Float) -> float:
    """Pre-distort the global Rabi frequency against the measured fractional drive error.

    Returns ``rabi_frequency / max(global_rabi_error + 1.0, 0.01)`` (0.0 error = perfect drive;
    a NaN error divides by 0.01).
    """

def qubo_criticality(qubo: Sequence[_Term], n_vars: SupportsIndex) -> list[tuple[int, float]]:
    """Rank the variables 0 … n_vars-1 of a QUBO by criticality, most critical first.

    Criticality is the sum of ``|w|`` over the terms touching a variable (a linear term counted
    once; a term with an index >= n_vars ignored). Returns ``(variable, criticality)`` pairs,
    descending, ties in index order. A NaN criticality among two or more variables raises
    PanicException.
    """

def exact_ising_norm(dh: Sequence[tuple[SupportsIndex, _Float]], dj: Sequence[_Term], n_sites: SupportsIndex) -> float:
    """Exact operator norm of a diagonal Ising error Hamiltonian: max |ΔE| over all 2^n_sites spin states.

    ΔE(s) = Σ Δh·s_site + Σ ΔJ·s_i·s_j, with s_k = +1 when bit k of the configuration index
    is set and -1 when clear; ``dh`` holds ``(site, Δh)``, ``dj`` holds ``((i, j), ΔJ)`` (any
    orientation, ``i == j`` adds ΔJ). NaN energies are ignored; 0.0 when there are no terms.

    Raises SizeViolation if n_sites > 20, PanicException for a site >= n_sites.
    """

def qubo_energy_spectrum(qubo: Sequence[_Term], n_vars: SupportsIndex) -> tuple[list[int], float, list[float]]:
    """Evaluate a QUBO on all 2^n_vars 0/1 assignments: ``(best_assignment, best_energy, spectrum)``.

    Variable k is bit k of the assignment index. ``best_assignment`` is the first strict
    minimum (n_vars ints, 0 or 1), ``best_energy`` its energy as accumulated, and ``spectrum``
    the ascending distinct energies rounded to 1e-9. n_vars = 0 gives ``([], 0.0, [0.0])``.

    Raises SizeViolation if n_vars > 20, PanicException for a term index >= n_vars.
    """

def run_statevector(
    instructions: Sequence[tuple[str, Sequence[SupportsIndex], Sequence[_Float]]], n_qubits: SupportsIndex
) -> list[tuple[float, float]]:
    """Run a gate list on |0…0⟩ and return the 2^n_qubits amplitudes as ``(real, imag)`` tuples.

    Qubit q is bit q of the basis index (qubit 0 least significant). Each instruction is
    ``(gate_name, qubit_indices, params)``: one index for "h", "x", "y", "z", "s", "t",
    "rx", "ry", "rz" (angle θ in radians) and "u" (θ, φ, λ); two or more for "cx" (control
    first), "cz" and "swap" (extra indices ignored). Names are case-sensitive.

    Raises SizeViolation if n_qubits > 24; ValueError for a gate unknown for its number of
    indices; PanicException for an empty index list, a missing parameter or a target beyond
    the state. Memory: 16·2^n_qubits bytes for the state, plus the returned tuples.
    """

def simulate_qubo_runs(
    qubo: Sequence[_Term], base_bits: Sequence[SupportsIndex], n_runs: SupportsIndex, noise_level: _Float, seed: SupportsIndex
) -> tuple[list[list[int]], list[float]]:
    """Simulate noisy runs of a QUBO: ``(assignments, energies)``, one entry per run.

    Each run copies ``base_bits`` (0/1 values; any 0..255 is carried) and flips every entry
    (b → 1 − b) whose SplitMix64 draw from ``seed`` is below ``noise_level``, one draw per
    entry in run order. Energies are summed in term order on a worker pool; results never
    depend on the number of threads.

    Raises OverflowError for a ``base_bits`` entry outside 0..255; with n_runs > 0,
    PanicException for a term index >= len(base_bits).
    """

def vrp_qubo_terms(dist: Sequence[Sequence[_Float]], penalty_a: _Float, penalty_b: _Float) -> dict[tuple[str, str], float]:
    """One-hot tour QUBO of a routing instance with the n × n distance matrix ``dist``.

    Every term of A·Σ_i(1 − Σ_t x_it)² + A·Σ_t(1 − Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,(t+1 mod n),
    constants dropped, as ``{(name, name): value}`` over the variables ``"x_{i}_{t}"`` (node i
    at tour position t). Each key's names are in string order; entries are inserted by variable
    index n·i + t of the key's first, then second name. n²(2n − 1) entries for n >= 3.

    Raises ValueError "distance matrix must be square" for a non-square or ragged ``dist``.
    """

def build_ecc_lookup_table(
    n_data: SupportsIndex, z_stabilizers: Sequence[Sequence[SupportsIndex]]
) -> list[tuple[list[int], list[int]]]:
    """Minimum-weight lookup decoder under bit flips: ``[(syndrome_bits, error_bits), ...]``.

    One row per syndrome some flip pattern produces, ascending by syndrome value; syndrome
    bit i is the parity of stabilizer i (stabilizer 0 is the low bit), error bit q flips data
    qubit q. Equal-weight candidates go to the first pattern met with qubit 0 varying slowest.

    Raises SizeViolation if n_data > 26 or there are more than 32 stabilizers; ValueError
    for a support index >= n_data.
    """

def logical_failure_probability(
    n_data: SupportsIndex, z_stabilizers: Sequence[Sequence[SupportsIndex]], logical_z: Sequence[SupportsIndex], physical_error_rate: _Float
) -> float:
    """Exact probability of a logical X error under independent bit flips and lookup decoding.

    Sums, over all 2^n_data flip patterns in ascending order, the probability of those whose
    residual after the decoder of :func:`build_ecc_lookup_table` anticommutes with
    ``logical_z``. ``physical_error_rate`` is the per-qubit flip probability (not range-checked).

    Raises as :func:`build_ecc_lookup_table`, then ValueError for a ``logical_z`` index >= n_data.
    """

def stoer_wagner_bisect(edges: Sequence[tuple[SupportsIndex, SupportsIndex, _Float]], n_nodes: SupportsIndex) -> tuple[float, list[int]]:
    """Split nodes 0 … n_nodes-1 along a global minimum cut: ``(cut_weight, side)``.

    ``edges`` holds undirected ``(i, j, weight)`` edges (parallel edges sum, self-loops do
    nothing); weights should be non-negative for the cut to be minimal. ``side`` is one part,
    not sorted; the other part is every remaining node.

    Raises ValueError if n_nodes < 2 or no finite cut exists; PanicException for an endpoint
    >= n_nodes. Memory: an n_nodes × n_nodes matrix of floats.
    """
