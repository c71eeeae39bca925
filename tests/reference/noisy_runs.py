"""Pure-Python noisy-run simulation: the SplitMix64 stream one draw at a
time and each energy as a sequential sum in term order."""

from reference.failures import out_of_bounds

MASK = 2**64 - 1


class SplitMix64:
    def __init__(self, seed):
        self.state = seed

    def next_float(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = ((self.state ^ (self.state >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return ((z ^ (z >> 31)) >> 11) * 2.0**-53


def energy(qubo, bits):
    e = -0.0
    for (i, j), w in qubo:
        for index in (i, j):
            if index >= len(bits):
                raise out_of_bounds(len(bits), index)
        e += (w * float(bits[i])) * float(bits[j])
    return e


def simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed):
    rng = SplitMix64(seed)
    runs = [[(1 - b) % 256 if rng.next_float() < noise_level else b for b in base_bits] for _ in range(n_runs)]
    return runs, [energy(qubo, run) for run in runs]
