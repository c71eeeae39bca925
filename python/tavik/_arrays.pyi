# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""The native array face: private, called only by tavik.arrays, tavik.qubo and tavik.circuits, which check and
normalise every argument first.
"""

from typing import Any

import numpy.typing as npt

__all__ = [
    "simulate_qubo_runs",
    "qubo_energy_spectrum",
    "exact_ising_norm",
    "run_statevector",
    "build_ecc_lookup_table",
    "logical_failure_probability",
    "check_code",
    "vrp_qubo_matrix",
    "stoer_wagner_bisect",
    "read_terms",
    "read_fields",
    "read_edges",
    "qubo_lowest",
    "qubo_levels",
    "qubo_check",
    "qubo_parts",
    "_qec_failure_counts",
    "_qec_complete_failure_counts",
    "circuit_gates",
    "run_circuit",
    "circuit_probabilities",
    "circuit_marginal",
    "circuit_sample_prefix",
    "circuit_sample",
    "circuit_expectations",
    "memory_available",
    "min_cut",
]

# Arrays the typed layer made: C-contiguous, of the dtype the kernel reads.
_Array = npt.NDArray[Any]
# A result made by the call: its bytes through the buffer protocol, for numpy.frombuffer.
_Block = Any

def simulate_qubo_runs(
    rows: _Array, cols: _Array, weights: _Array, base_bits: _Array, n_runs: int, noise_level: float, seed: int
) -> tuple[_Block, _Block]:
    """(runs, energies) as buffers: n_runs × len(base_bits) bytes and n_runs float64, as tavik_core's
    simulate_qubo_runs computes them.
    """

def qubo_energy_spectrum(rows: _Array, cols: _Array, weights: _Array, n_vars: int) -> tuple[_Block, float, _Block]:
    """(best, energy, energies): the first strict minimum's assignment (n_vars bytes), its energy and the
    ascending distinct energies (float64), buffers both, as tavik_core's qubo_energy_spectrum computes
    them.
    """

def exact_ising_norm(sites: _Array, values: _Array, rows: _Array, cols: _Array, weights: _Array, n_sites: int) -> float:
    """Return tavik_core's exact_ising_norm of the fields (sites, values) and couplings (rows, cols,
    weights).
    """

def run_statevector(instructions: object, n_qubits: int) -> _Block:
    """The state (2^n_qubits complex128, as a buffer) with tavik_core's run_statevector amplitudes; the
    instructions are converted as tavik_core converts them.
    """

def build_ecc_lookup_table(n_data: int, starts: _Array, qubits: _Array) -> tuple[_Block, _Block]:
    """(syndromes, corrections) as buffers of uint64, one row per producible syndrome, ascending, as
    tavik_core's build_ecc_lookup_table computes them; supports as compressed rows.
    """

def logical_failure_probability(n_data: int, starts: _Array, qubits: _Array, logical_z: _Array, p: _Array) -> _Block:
    """A buffer of float64, element i tavik_core's logical_failure_probability at rate p[i]; supports as
    compressed rows.
    """

def check_code(n_data: int, starts: _Array, qubits: _Array, logical_z: _Array) -> None:
    """Raise what logical_failure_probability raises for this code before it builds any table."""

def vrp_qubo_matrix(dist: _Array, rows: int, penalty_a: float, penalty_b: float) -> tuple[_Block, list[str]]:
    """(q, labels): tavik_core's vrp_qubo_terms on the rows × rows matrix dist as a buffer of rows² × rows²
    float64 (q[a, b] the value keyed (labels[a], labels[b]), 0.0 where it has none) and the variable
    names by index.
    """

def stoer_wagner_bisect(first: _Array, second: _Array, weights: _Array, n_nodes: int) -> tuple[float, _Block]:
    """(cut_weight, side) of tavik_core's stoer_wagner_bisect on the edges (first[k], second[k],
    weights[k]): side a new buffer of int64 nodes.
    """

def read_terms(terms: object) -> tuple[_Block, _Block, _Block]:
    """(rows, cols, weights) of a ((i, j), w) term list, as uint64 and float64 buffers."""

def read_fields(fields: object) -> tuple[_Block, _Block]:
    """(sites, values) of a (site, value) list, as uint64 and float64 buffers."""

def read_edges(edges: object) -> tuple[_Block, _Block, _Block]:
    """(u, v, w) of an (i, j, w) edge list, as uint64 and float64 buffers."""

def qubo_lowest(
    rows: _Array,
    cols: _Array,
    weights: _Array,
    offset: float,
    n_vars: int,
    spin: int,
    k: int,
    first: int,
    last: int,
    progress: _Array,
) -> tuple[_Block, _Block]:
    """(energies, indices): the k lowest assignments of parts [first, last) by (energy, index), ascending, as
    float64 and uint64 buffers; progress[0] counts the assignments walked.
    """

def qubo_levels(
    rows: _Array, cols: _Array, weights: _Array, offset: float, n_vars: int, spin: int, k: int, progress: _Array
) -> tuple[_Block, _Block]:
    """(energies, counts): the k lowest energy levels and how many assignments have each, as float64 and
    int64 buffers; progress[0] counts the assignments walked.
    """

def qubo_check(rows: _Array, cols: _Array, weights: _Array, offset: float, n_vars: int, spin: int) -> None:
    """Raise what qubo_lowest and qubo_levels raise for this model before they start."""

def qubo_parts(n_vars: int) -> int:
    """How many equal parts the assignment space of n_vars variables splits into."""

def _qec_failure_counts(
    n_data: int,
    starts: _Array,
    qubits: _Array,
    logical: _Array,
    max_weight: int,
    slice_bits: int,
    first: int,
    last: int,
) -> _Block:
    """A buffer of uint64, element w the patterns of weight w <= max_weight that the minimum-weight lookup
    decoder leaves with a logical error, of those whose syndromes lie in slices [first, last) of
    2**slice_bits; checks as compressed rows.
    """

def _qec_complete_failure_counts(n_data: int, starts: _Array, qubits: _Array, logical: _Array) -> _Block:
    """A buffer of uint64, element w the failing patterns of weight w for every w <= n_data, from the
    decoder's full table (the limits of build_ecc_lookup_table).
    """

def circuit_gates() -> list[tuple[str, int, int]]:
    """[(name, qubits, parameters)]: the gates run_circuit runs; every qubit but the last controls the gate."""

def run_circuit(instructions: object, n_qubits: int, fuse: int, progress: _Array) -> _Block:
    """The state (2^n_qubits complex128, as a buffer) after the instructions, the core's gates exactly as
    run_statevector runs them unless fuse (nonzero) merges runs of single-qubit gates on a qubit;
    progress[0] counts the gates done.
    """

def circuit_probabilities(state: _Array) -> _Block:
    """A float64 buffer: re² + im² of each amplitude."""

def circuit_marginal(state: _Array, qubits: _Array) -> _Block:
    """A float64 buffer of 2^len(qubits) probabilities; bit c of an outcome is qubit qubits[c]."""

def circuit_sample_prefix(state: _Array) -> _Block:
    """A float64 buffer: the running sums of the probabilities at the ends of the blocks sampling uses."""

def circuit_sample(state: _Array, prefix: _Array, uniforms: _Array) -> _Block:
    """A uint64 buffer: the basis index drawn for each of the ascending uniforms in [0, 1), prefix as
    circuit_sample_prefix gives it.
    """

def circuit_expectations(state: _Array, x_masks: _Array, ends: _Array, z_masks: _Array, progress: _Array) -> _Block:
    """A float64 buffer: each Pauli string's expectation; group g (X/Y mask x_masks[g]) is terms
    [ends[g-1], ends[g]), each given by its Z/Y mask; progress[0] counts the terms done.
    """

def memory_available() -> int:
    """The bytes this process may still allocate, as the memory guard counts them."""

def min_cut(rows: _Array, cols: _Array, weights: _Array, n_nodes: int) -> tuple[float, _Block]:
    """(value, side): a global minimum cut of the undirected graph with edges (rows[k], cols[k], weights[k]),
    value its exact weight and side a new buffer of int64 nodes, ascending.
    """
