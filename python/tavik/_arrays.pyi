# The native array face: private, called only by tavik.arrays, which checks
# and normalises every argument first.
from typing import Any

import numpy.typing as npt

__all__ = [
    "simulate_qubo_runs",
    "qubo_energy_spectrum",
    "exact_ising_norm",
    "run_statevector",
    "build_ecc_lookup_table",
    "logical_failure_probability",
    "vrp_qubo_matrix",
    "stoer_wagner_bisect",
]

# Arrays the typed layer made: C-contiguous, of the dtype the kernel reads.
_Array = npt.NDArray[Any]

def simulate_qubo_runs(
    rows: _Array,
    cols: _Array,
    weights: _Array,
    base_bits: _Array,
    noise_level: float,
    seed: int,
    runs: _Array,
    energies: _Array,
) -> None: ...

# --- exhaustive enumeration and the statevector ---
def qubo_energy_spectrum(rows: _Array, cols: _Array, weights: _Array, n_vars: int, best: _Array) -> tuple[float, bytearray]: ...
def exact_ising_norm(sites: _Array, values: _Array, rows: _Array, cols: _Array, weights: _Array, n_sites: int) -> float: ...
def run_statevector(instructions: object, n_qubits: int, state: _Array) -> None: ...
# --- error correction ---
def build_ecc_lookup_table(n_data: int, starts: _Array, qubits: _Array) -> tuple[bytearray, bytearray]: ...
def logical_failure_probability(
    n_data: int, starts: _Array, qubits: _Array, logical_z: _Array, p: _Array, out: _Array
) -> None: ...
# --- graphs ---
def vrp_qubo_matrix(dist: _Array, rows: int, penalty_a: float, penalty_b: float, q: _Array) -> list[str]: ...
def stoer_wagner_bisect(first: _Array, second: _Array, weights: _Array, n_nodes: int) -> tuple[float, bytearray]: ...
