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
# A result made by the call: its bytes through the buffer protocol, for
# numpy.frombuffer.
_Block = Any

def simulate_qubo_runs(
    rows: _Array, cols: _Array, weights: _Array, base_bits: _Array, n_runs: int, noise_level: float, seed: int
) -> tuple[_Block, _Block]: ...

# --- exhaustive enumeration and the statevector ---
def qubo_energy_spectrum(rows: _Array, cols: _Array, weights: _Array, n_vars: int) -> tuple[_Block, float, _Block]: ...
def exact_ising_norm(sites: _Array, values: _Array, rows: _Array, cols: _Array, weights: _Array, n_sites: int) -> float: ...
def run_statevector(instructions: object, n_qubits: int) -> _Block: ...
# --- error correction ---
def build_ecc_lookup_table(n_data: int, starts: _Array, qubits: _Array) -> tuple[_Block, _Block]: ...
def logical_failure_probability(n_data: int, starts: _Array, qubits: _Array, logical_z: _Array, p: _Array) -> _Block: ...
# --- graphs ---
def vrp_qubo_matrix(dist: _Array, rows: int, penalty_a: float, penalty_b: float) -> tuple[_Block, list[str]]: ...
def stoer_wagner_bisect(first: _Array, second: _Array, weights: _Array, n_nodes: int) -> tuple[float, _Block]: ...
