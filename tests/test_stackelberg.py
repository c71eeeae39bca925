import math
import random

import pytest

import tavik.tavik_core as core
from reference import stackelberg as ref
from reference.failures import Failure, outcome
from support import bits

FIELDS = ("kappa", "confidence", "energy_gap", "iterations", "kappa_std")
UNWRAP = Failure("Panic", "called `Option::unwrap()` on a `None` value")  # NaN κ among several iterations
NAN = math.nan


def solve(lists, current=1.0, target=0.9, rate=0.5):
    strength, score = core.StackelbergSolver(target, 10, rate).solve(*lists, current)
    return strength, tuple(getattr(score, name) for name in FIELDS), repr(score)


# Values whose fixed-point text rounds a tie, a long expansion, a signed zero or a non-finite value
REPR_VALUES = [0.0, -0.0, 0.5, 12.0, 0.03125, 0.09375, 0.00005, -0.00004, 2.5e-5, 1e300, -1e300, 5e-324,
               123456.78915, math.inf, -math.inf, math.nan, -(2**53) + 0.5]
S = (1.0, 0.9, 0.5)  # current strength, target κ, learning rate
EQUAL_KAPPA = ([0.4, 0.4], [0.0, 1.0], [1.0, 2.0], [0.0, 0.0])


# Lists (confidences, best, second best, chain-break fractions), settings, and the expected failure or
# (strength, (kappa, confidence, energy_gap, iterations, kappa_std)[, repr]): () compares with the reference only
@pytest.mark.parametrize("lists, settings, expected", [
    # Equal κ: the later iteration wins; reaching the target exactly keeps the strength.
    (EQUAL_KAPPA, (3.0, 0.7, 0.5), (3.8549999999999995, (0.43000000000000005, 0.4, 1.0, 1, 0.0))),
    (EQUAL_KAPPA, (3.0, 0.43000000000000005, 0.5), (3.0, (0.43000000000000005, 0.4, 1.0, 1, 0.0))),
    (([NAN], [0.0], [1.0], [0.0]), (2.0, 0.9, 0.5), (NAN, (NAN, NAN, 1.0, 0, 0.0))),  # a single NaN κ is scored
    (([0.5, NAN], [0.0] * 2, [1.0] * 2, [0.0] * 2), S, UNWRAP),
    (([0.5, 0.5], [0.0] * 2, [1.0] * 2, [NAN, 0.0]), S, UNWRAP),
    # The text, compared with the reference: the confidence passes through and the gap is |value|.
    *[(([value], [0.0], [value], [0.0]), S, ()) for value in REPR_VALUES],
])
def test_documented_outcomes(lists, settings, expected):
    current, target, rate = settings
    got = outcome(lambda: solve(lists, current, target, rate))
    assert got == outcome(lambda: ref.solve(target, rate, *lists, current))
    if isinstance(expected, Failure):
        assert got == expected.args
    else:
        assert got[1][: len(expected)] == bits(expected)


SPECIAL = [math.nan, math.inf, -math.inf, -0.0, 0.0, 1.0, -1.0, 2.0]


@pytest.mark.parametrize("seed", range(80))
def test_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    target, rate, current, n = rng.uniform(0, 1.1), rng.uniform(-0.5, 2), rng.uniform(-1, 10), rng.randrange(8)

    def values(low, high, length, special=0.05):  # a negative length is an empty list
        return [rng.choice(SPECIAL) if rng.random() < special else rng.uniform(low, high) for _ in range(length)]

    lists = [values(-0.2, 1.2, n, special=0.005)]  # and now and then a list of another length:
    lists += [values(-20, 20, n + (rng.choice([-1, 1, 2]) if rng.random() < 0.1 else 0)) for _ in range(3)]
    assert outcome(lambda: solve(lists, current, target, rate)) == outcome(lambda: ref.solve(target, rate, *lists, current))


def test_solver_attributes_hold_what_was_given():
    s = core.StackelbergSolver(target_kappa=0.25, max_iterations=2**64 - 1, learning_rate=1.5)
    assert (s.target_kappa, s.max_iterations, s.learning_rate) == (0.25, 2**64 - 1, 1.5)
