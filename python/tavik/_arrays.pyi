# The native array face: private, called only by tavik.arrays, which checks
# and normalises every argument first.
from typing import Any

import numpy as np
import numpy.typing as npt

# Arrays the typed layer made: C-contiguous, of the dtype the kernel reads.
Array = npt.NDArray[Any]

def simulate_qubo_runs(
    rows: Array,
    cols: Array,
    weights: Array,
    base_bits: Array,
    noise_level: float,
    seed: int,
    runs: Array,
    energies: Array,
) -> None: ...

# --- exhaustive enumeration and the statevector ---
def qubo_energy_spectrum(rows: Array, cols: Array, weights: Array, n_vars: int, best: Array) -> tuple[float, bytearray]: ...
def exact_ising_norm(sites: Array, values: Array, rows: Array, cols: Array, weights: Array, n_sites: int) -> float: ...
def run_statevector(instructions: object, n_qubits: int, state: Array) -> None: ...
# --- error correction ---
def build_ecc_lookup_table(n_data: int, starts: Array, qubits: Array) -> tuple[bytearray, bytearray]: ...
def logical_failure_probability(
    n_data: int, starts: Array, qubits: Array, logical_z: Array, p: Array, out: Array
) -> None: ...
# --- graphs ---
def vrp_qubo_matrix(dist: Array, rows: int, penalty_a: float, penalty_b: float, q: Array) -> list[str]: ...
def stoer_wagner_bisect(first: Array, second: Array, weights: Array, n_nodes: int) -> tuple[float, bytearray]: ...
