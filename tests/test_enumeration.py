"""The exhaustive kernels: QUBO spectrum, Ising error norm and exact Ising solver."""

import math
import random

import pytest
from support import WEIGHTS, bits, graph, random_terms

import tavik.tavik_core as core
from reference import enumeration as ref
from reference.failures import out_of_bounds, outcome

sim = core.sim
inf, nan = math.inf, math.nan

# --- qubo_energy_spectrum ---------------------------------------------------


@pytest.mark.parametrize("qubo, n, expected", [
    ([((5, 9), 1.0)], 0, ([], 0.0, [0.0])),  # n = 0 never looks at the terms
    ([], 3, ([0, 0, 0], 0.0, [0.0])),
    ([((0, 0), 1e-10)], 1, ([0], 0.0, [0.0])),  # 0 and 1e-10 share key 0
    ([((0, 0), inf)], 1, ([0], inf, [0.0, 9223372036.854776])),  # NaN → key 0, inf → max key
    # Terms whose contribution is ±0.0 change no sum; variable 6 lives in the high bits of the assignment index, 0 and
    # 1 in the low ones.
    ([((0, 6), -0.0), ((1, 1), -0.0)], 7, ([0] * 7, 0.0, [0.0])),  # sums start at +0.0: never −0.0
    ([((0, 6), inf), ((1, 1), -1.0)], 7, ([0] * 7, inf, [0.0, 9223372036.854776])),  # NaN where 0 or 6 is clear
    ([((6, 6), -inf), ((1, 1), -1.0)], 7, ([0] * 6 + [1], -inf, [-9223372036.854776, 0.0])),
    ([((6, 6), nan), ((1, 1), -1.0)], 7, ([0] * 7, inf, [0.0])),  # NaN everywhere, also where 6 is clear
])
def test_spectrum_documented_cases(qubo, n, expected):
    assert bits(core.qubo_energy_spectrum(qubo, n)) == bits(expected)


@pytest.mark.parametrize("call, index", [
    (lambda: core.qubo_energy_spectrum([((0, 0), 1.0), ((7, 9), 1.0)], 2), 7),  # i before j
    (lambda: core.qubo_energy_spectrum([((1, 2**64 - 1), 1.0), ((5, 5), 1.0)], 2), 2**64 - 1),
    (lambda: core.exact_ising_norm([(5, 1.0)], [((3, 0), 1.0)], 2), 5),  # linear sites are checked first
])
def test_index_out_of_range(call, index):
    assert outcome(call) == out_of_bounds(2, index).args


def test_energy_keys_round_half_away_from_zero_and_saturate():
    # 2.5e-9 and -2.5e-9 are not exact in binary; the key follows E·1e9 exactly.
    for w in [0.5e-9, -0.5e-9, 1.5e-9, -1.5e-9, 2.5e-9, 1e10, -1e10, 9.3e9, -9.3e9, 0.49999999999999994e-9]:
        _, _, spectrum = core.qubo_energy_spectrum([((0, 0), w)], 1)
        assert bits(spectrum) == bits(sorted({0.0, ref.energy_key(w) / 1e9}))


# --- exact_ising_norm -------------------------------------------------------


@pytest.mark.parametrize("dh, dj, n, expected", [
    ([(0, nan)], [((0, 1), 1.0)], 2, 0.0),  # every energy NaN
    ([(9, 1.0)], [((9, 9), 1.0)], 0, 0.0),  # n = 0: terms never examined
    ([], [], 20, 0.0),
    ([(0, inf)], [], 1, inf),
])
def test_norm_documented_cases(dh, dj, n, expected):
    assert bits(core.exact_ising_norm(dh, dj, n)) == bits(expected)


# --- each kernel against its reference model ------------------------------------


def differential_cases():
    for seed in range(12):
        rng, special = random.Random(seed), 0.3 * (seed % 3 == 0)
        n = rng.randint(1, 9)
        yield "spectrum", (random_terms(rng, n, rng.randint(0, 25), special), n)
        dh = [(rng.randrange(n), rng.choice(WEIGHTS) if special else rng.uniform(-1, 1)) for _ in range(rng.randint(0, 6))]
        yield "norm", (dh, random_terms(rng, n, rng.randint(0, 20), special), n)
        names = [rng.choice("abcdefghij") for _ in range(n)]  # repeats on purpose
        yield "solve_exact", (names, [(rng.choice(names + ["zz"]), rng.choice(names),
                                       rng.choice(WEIGHTS) if seed % 4 == 0 else rng.uniform(-1, 1))
                                      for _ in range(rng.randint(0, 15))])  # fmt: skip
    rng, pairs = random.Random(7), [(i, j) for i in range(12) for j in range(i, 12)]
    yield "spectrum", (random_terms(random.Random(99), 20, 3, special=0), 20)  # at the size limit, and past it:
    yield "norm", ([], [], 21)
    yield "solve_exact", ([], [("a", "b", 1.0)])  # no variables
    yield "solve_exact", ([f"v{k}" for k in range(21)], [])
    # Thousands of energies, for the sort to work bucket by bucket: spread out, packed in a narrow range beside a
    # far-off group, few distinct ones many times over, and keys spanning one 11-bit radix digit plus a bit (energies
    # 1e-9 and a few 1e-6 apart).
    yield "spectrum", ([(p, rng.uniform(-1, 1)) for p in pairs], 12)
    yield "spectrum", ([((0, 0), 1e6)] + [(p, rng.uniform(-1e-3, 1e-3)) for p in pairs if p[0] > 0], 12)
    yield "spectrum", ([(p, rng.choice([-1.0, 0.5, 2.0])) for p in pairs], 12)
    yield "spectrum", ([((k, k), 2**k * 1e-9) for k in range(11)] + [((11, 11), 1e-9)], 12)
    yield "spectrum", ([((k, k), 2**k * 1e-9) for k in range(12)], 12)
    yield "spectrum", ([((k, k), rng.randrange(1, 9) * 3e-6) for k in range(12)], 12)


MODELS = {
    "spectrum": (core.qubo_energy_spectrum, ref.qubo_energy_spectrum),
    "norm": (core.exact_ising_norm, ref.exact_ising_norm),
    "solve_exact": (lambda names, edges: sim.IsingSimulator().solve_exact(graph(names, edges)), ref.solve_exact),
}


@pytest.mark.parametrize("kernel, args", list(differential_cases()))
def test_matches_reference_bit_for_bit(kernel, args):
    module, model = MODELS[kernel]
    assert outcome(lambda: module(*args)) == outcome(lambda: model(*args))
