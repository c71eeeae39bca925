"""Pure-Python noisy-run simulation: the SplitMix64 stream one draw at a
time and each energy as a sequential sum in term order."""

from reference import fadd
from reference.failures import checked

MASK = 2**64 - 1


def splitmix64(seed):
    """The stream's draws, floats in [0, 1)."""
    while True:
        seed = (seed + 0x9E3779B97F4A7C15) & MASK
        z = ((seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        yield ((z ^ (z >> 31)) >> 11) * 2.0**-53


def energy(qubo, bits):
    e = -0.0
    for (i, j), w in qubo:
        e = fadd(e, (w * float(checked(bits, i))) * float(checked(bits, j)))
    return e


def simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed):
    draws = splitmix64(seed)
    runs = [[(1 - b) % 256 if next(draws) < noise_level else b for b in base_bits] for _ in range(n_runs)]
    return runs, [energy(qubo, run) for run in runs]
