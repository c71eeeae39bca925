"""Pure-Python noisy-run simulation: the SplitMix64 stream one draw at a
time and each energy as a sequential sum in term order."""

from reference.failures import Failure

MASK = 2**64 - 1
GAMMA = 0x9E3779B97F4A7C15


class SplitMix64:
    def __init__(self, seed):
        self.state = seed

    def next_float(self):
        self.state = (self.state + GAMMA) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        z ^= z >> 31
        return (z >> 11) * 2.0**-53


def energy(qubo, bits):
    e = -0.0
    for (i, j), w in qubo:
        if i >= len(bits):
            raise Failure("Panic", f"index out of bounds: the len is {len(bits)} but the index is {i}")
        if j >= len(bits):
            raise Failure("Panic", f"index out of bounds: the len is {len(bits)} but the index is {j}")
        e += (w * float(bits[i])) * float(bits[j])
    return e


def simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed):
    rng = SplitMix64(seed)
    runs = []
    for _ in range(n_runs):
        runs.append([(1 - b) % 256 if rng.next_float() < noise_level else b for b in base_bits])
    return runs, [energy(qubo, run) for run in runs]
