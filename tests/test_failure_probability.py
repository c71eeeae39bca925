"""The exact logical failure probability (and the lookup table it decodes with)
against the reference model bit for bit, and the documented values."""

import math
import random

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import LZ3, Z3, bits

PATCHES = {d: core.ecc.build_surface_code(d) for d in (1, 2, 4, 5)}


def random_code(seed):
    rng = random.Random(seed)
    n_data = rng.randint(0, 11)
    m = rng.choice([0, 1, 2, 3, 5, 8, 12, 20, 32]) if n_data <= 8 else rng.randint(0, 12)
    sizes = [rng.choice([0, 1, 2, 2, 3, 4, 4, 6]) for _ in range(m)]
    stabilizers = [[rng.randrange(n_data) for _ in range(size)] if n_data else [] for size in sizes]
    logical_z = [rng.randrange(n_data) for _ in range(rng.randint(0, 4))] if n_data else []
    p = rng.choice([rng.random(), rng.random() * 1e-3, 0.5, 1.0, 0.0, rng.uniform(-1.0, 2.0)])
    return n_data, stabilizers, logical_z, p


# Beside the random codes: heavy corrections (every qubit its own check, a repetition code), few syndromes next to the
# patterns, the even-distance patches (the decoder takes different routes through these), and the distance-3 patch at
# rates in and out of [0, 1].
CODES = [random_code(seed) for seed in range(80)] + [
    (10, [[q] for q in range(10)], [0, 1], 0.05), (11, [[q, q + 1] for q in range(10)], [0], 0.3),
    (9, [[q] for q in range(9)] + [[0, 8], [3]], [4, 5, 6], 0.05), (12, [[0, 5, 11], [2, 3]], [0, 11], 0.3),
    (12, [], [6], 0.05), (13, [[1, 2], [2, 3], [1, 3]], [1, 2, 12], 0.3),
    *[(d * d, PATCHES[d].z_stabilizers, PATCHES[d].logical_z, p) for d, p in [(2, 0.05), (4, 0.3)]],
] + [(9, Z3, LZ3, p) for p in (1e-3, 0.01, 0.25, 0.9, -0.5, 1.5, 1e-300, math.inf)]


@pytest.mark.parametrize("n_data, stabilizers, logical_z, p", CODES)
def test_codes_match_reference(n_data, stabilizers, logical_z, p):
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)
    args = (n_data, stabilizers, logical_z, p)
    assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


@pytest.mark.parametrize("n_data, stabilizers, logical_z, p, expected",
    [(9, Z3, LZ3, p, e) for p, e in [(0.5, 0.5), (0.0, 0.0), (-0.0, 0.0), (1.0, 1.0), (0.1, 0.11969459200000022),
                                     (math.nan, math.nan)]]
    # Adding logical X (empty syndrome, meets logical Z once) pairs each failing pattern with a decoded one; at p =
    # 1/2 every pattern has the same power-of-two probability: the sum is exact.
    + [(d * d, PATCHES[d].z_stabilizers, PATCHES[d].logical_z, 0.5, 0.5) for d in (1, 2, 4, 5)]
    + [(9, Z3, [], math.nan, 0.0),  # nothing can fail
       # 32 copies of the check {0, 25}: the odd syndrome is corrected on qubit 25 (the later of the tied flips), so a
       # pattern fails when it flips qubit 0.
       (26, [[0, 25]] * 32, [0], 0.5, 0.5),
       (26, [[0, 25]] * 32, [0, 25], 0.5, 0.0),  # always decoded
    ])  # fmt: skip
def test_probability_examples(n_data, stabilizers, logical_z, p, expected):
    assert bits(core.logical_failure_probability(n_data, stabilizers, logical_z, p)) == bits(expected)


def test_probability_of_a_large_code_with_low_rank_syndromes():
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0], 0.25) == pytest.approx(0.25, rel=1e-12)
