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

# --- graphs ---
def vrp_qubo_matrix(dist: Array, rows: int, penalty_a: float, penalty_b: float, q: Array) -> list[str]: ...
def stoer_wagner_bisect(first: Array, second: Array, weights: Array, n_nodes: int) -> tuple[float, bytearray]: ...
