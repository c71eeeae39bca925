import math
import random

import pytest

import tavik.tavik_core as core
from reference import noisy_runs as ref
from reference.failures import Failure, out_of_bounds, outcome
from support import bits

BASE, FLIPPED, QUBO = [0, 1, 2, 255], [1, 0, 255, 2], [((2, 2), 1.5), ((0, 1), 1.0)]  # b → (1 − b) mod 256
NEGATIVE_ZEROS = [((0, 1), -1.0), ((1, 1), -2.0), ((2, 0), -3.0)]  # every contribution is −0.0 on [1, 0, 0]
WIDE = 9000  # beyond the variable count whose runs are summed 32 at a time
NAMES = ("qubo", "base_bits", "n_runs", "noise_level", "seed")
OVERFLOW = Failure("OverflowError", "out of range integral type conversion attempted")  # base entries are bytes
TOO_LARGE = Failure("OverflowError", "Python int too large to convert to C long")  # beyond 64 bits


@pytest.mark.parametrize("args, expected", [
    (([((5, 9), 1.0)], [0], 0, 0.5, 0), ([], [])),  # no runs: no index checks
    # Energy sums start at −0.0, in the grouped and the one-run-at-a-time loops.
    ((NEGATIVE_ZEROS, [1, 0, 0], 40, 0.0, 0), ([[1, 0, 0]] * 40, [-0.0] * 40)),
    ((NEGATIVE_ZEROS, [1] + [0] * (WIDE - 1), 40, 0.0, 0), ([[1] + [0] * (WIDE - 1)] * 40, [-0.0] * 40)),
    (([((0, 1), -0.0)], [1, 1], 3, 0.0, 0), ([[1, 1]] * 3, [-0.0] * 3)),  # a −0.0 weight keeps its sign
    # A sum keeps its first NaN: in every lane of a group, and one run at a time; inf·0 makes one.
    *[((qubo, base, runs, 0.0, 0), ([base] * runs, [first] * runs))
      for base, runs in (([1, 0], 64), ([1] + [0] * (WIDE - 1), 3))
      for qubo, first in (([((0, 0), math.nan), ((0, 0), -math.nan)], math.nan),
                          ([((0, 0), -math.nan), ((0, 0), math.nan)], -math.nan),
                          ([((0, 1), math.inf), ((0, 0), math.nan)], math.inf * 0.0))],
    # The first bad term in list order fails, before any run.
    (([((0, 1), 1.0), ((0, 7), 1.0), ((9, 0), 1.0)], [0, 1], 3, 0.5, 1), out_of_bounds(2, 7)),
    (([((0, 1), 1.0), ((9, 8), 1.0)], [0, 1], 100, 0.5, 1), out_of_bounds(2, 9)),
    (([((0, 0), 1.0)], [], 1, 0.5, 1), out_of_bounds(0, 0)),
    (([((2**64 - 1, 0), 1.0)], [1] * 5, 40, 0.5, 1), out_of_bounds(5, 2**64 - 1)),
    *[(([], [b], 1, 0.5, 0), OVERFLOW) for b in (256, -1, 2**40, -(2**40))],  # whatever the width of a C long
    *[(([], [b], 1, 0.5, 0), TOO_LARGE) for b in (2**63, -(2**63) - 1, 2**100)],
    *[(([], [0] * n, runs, 0.5, 0), Failure("MemoryError", "")) for n, runs in ((0, 2**63), (16, 2**61))],  # too big
])
def test_documented_outcomes(args, expected):
    got = outcome(lambda: core.simulate_qubo_runs(**dict(zip(NAMES, args))))  # bound by the documented names
    if isinstance(expected, Failure):
        assert got == expected.args
    else:
        assert got == outcome(lambda: ref.simulate_qubo_runs(*args)) == ("ok", bits(expected))


def random_case(rng):
    n = rng.choice([0, 1, 3, 7, 8, 9, 17, 40])
    base = [rng.choice([0, 1]) if rng.random() < 0.9 else rng.randrange(256) for _ in range(n)]
    weights = [rng.uniform(-5, 5), 0.0, -0.0, 1e308, math.inf, -math.inf, math.nan, 5e-324]
    qubo = [((rng.randrange(n), rng.randrange(n)), rng.choice(weights) if rng.random() < 0.2 else rng.uniform(-5, 5))
            for _ in range(rng.randrange(0, 60) if n else 0)]
    if n and rng.random() < 0.15:  # an index beyond the assignment
        qubo.insert(rng.randrange(len(qubo) + 1), ((rng.randrange(n + 3), n + rng.randrange(3)), 1.0))
    noise = rng.choice([0.0, 0.1, 0.5, 0.9, 1.0, -0.5, 1.5, math.nan, 5e-324, 1 - 2**-53, rng.random()])
    runs = rng.choice([0, 1, 2, 31, 32, 33, 70])
    return qubo, base, runs, noise, rng.choice([0, 1, 2**64 - 1, rng.getrandbits(64)])


@pytest.mark.parametrize("step", [-math.inf, None, math.inf])
@pytest.mark.parametrize("entry", [2, 8])  # in a block of eight draws, and in the tail after the last block
def test_noise_level_next_to_a_draw(entry, step):
    draws = ref.splitmix64(0)
    draw = [next(draws) for _ in range(11)][entry]  # 0.026… and 0.246…: doubles there are finer than draws
    args = ([], [0] * 11, 1, draw if step is None else math.nextafter(draw, step), 0)
    assert core.simulate_qubo_runs(*args)[0][0][entry] == (step == math.inf)  # only a draw below the level flips
    assert outcome(lambda: core.simulate_qubo_runs(*args)) == outcome(lambda: ref.simulate_qubo_runs(*args))


def zero_one_case(case):
    """0/1 entries and finite weights: the masked sums, over every column width and tail of
    eight variables, full and partial groups of 32 runs."""
    rng = random.Random(case)
    n = rng.choice([1, 7, 8, 9, 17, 64, 200])
    weights = [0.0, -0.0, 1e308, -1e308, 5e-324, -5e-324]
    qubo = [((rng.randrange(n), rng.randrange(n)), rng.choice(weights) if rng.random() < 0.3 else rng.uniform(-5, 5))
            for _ in range(rng.randrange(1, 80))]
    return qubo, [rng.randrange(2) for _ in range(n)], rng.choice([1, 31, 32, 33, 70]), rng.random(), case


WIDE_QUBO = [((random.Random(k).randrange(WIDE), random.Random(-k).randrange(WIDE)), k / 50 - 3) for k in range(300)]
# Random cases, 0/1 ones, and varied wide runs, summed one at a time and split over the pool's chunks.
CASES = ([random_case(random.Random(case)) for case in range(60)] + [zero_one_case(case) for case in range(24)]
         + [(WIDE_QUBO, [k % 3 % 2 for k in range(WIDE)], 24, 0.3, 11)])


@pytest.mark.parametrize("args", CASES)
def test_matches_reference_bit_for_bit(args):
    assert outcome(lambda: core.simulate_qubo_runs(*args)) == outcome(lambda: ref.simulate_qubo_runs(*args))
