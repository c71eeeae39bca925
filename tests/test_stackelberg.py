import math
import random

import pytest

import tavik.tavik_core as core
from reference import stackelberg as ref
from reference.failures import Failure, out_of_bounds, outcome
from support import assert_no_leak, bits

FIELDS = ("kappa", "confidence", "energy_gap", "iterations", "kappa_std")
UNWRAP = Failure("Panic", "called `Option::unwrap()` on a `None` value")  # NaN κ among several iterations


def solve(lists, current=1.0, target=0.9, rate=0.5):
    strength, score = core.StackelbergSolver(target, 10, rate).solve(*lists, current)
    return strength, tuple(getattr(score, name) for name in FIELDS), repr(score)


def test_one_iteration():
    strength, score, text = solve(([0.5], [0.0], [1.0], [0.1]), 2.0)
    assert bits(score) == bits((0.4600000000000001, 0.5, 1.0, 0, 0.0))
    assert strength == 2.0 * (0.5 * (1 - 0.4600000000000001) + 1)
    assert text == "EquilibriumScore(kappa=0.4600, confidence=0.5000, energy_gap=1.0000, kappa_std=0.0000, iterations=0)"


def test_two_iterations():
    strength, (kappa, _, _, iterations, std), _ = solve(([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0]), 2.0)
    assert iterations == 1 and kappa == 0.8
    assert math.isclose(std, 0.17) and math.isclose(strength, 2.03)


def test_equal_kappa_prefers_later_and_target_keeps_strength():
    lists = ([0.4, 0.4], [0.0, 1.0], [1.0, 2.0], [0.0, 0.0])
    strength, (kappa, _, _, iterations, _), _ = solve(lists, 3.0, target=0.7)
    assert iterations == 1 and kappa == (0.4 * 0.5 + 0.1 * 0.3) + 0.2 and strength != 3.0
    assert solve(lists, 3.0, target=kappa)[0] == 3.0


def test_large_spread_caps_penalty():
    # κ = 0 and 0.9: a spread of 0.45 (population, not sample), 5·0.45 capped at 0.9
    strength, (kappa, *_, std), _ = solve(([0.0, 0.8], [0.0, 0.0], [0.0, 10.0], [1.0, 0.0]), 1.0, target=2.0, rate=1.0)
    assert math.isclose(std, 0.45) and strength == 1.0 * ((1.0 * (1.0 - 0.9)) * (1.0 - kappa) + 1.0)


def test_single_nan_kappa_is_scored():
    strength, score, text = solve(([math.nan], [0.0], [1.0], [0.0]), 2.0)
    assert math.isnan(score[0]) and math.isnan(strength)
    assert text.startswith("EquilibriumScore(kappa=NaN, confidence=NaN, ")


@pytest.mark.parametrize(
    "lists, expected",
    [
        (([1.0], [0.0], [10.0], [0.0]), 1.0),
        (([1.0], [3.0], [-30.0], [-2.0]), 1.0),  # fraction below 0 counts as 0, gap saturates
        (([0.0], [0.0], [0.0], [1.0]), 0.0),
        (([0.0], [0.0], [0.0], [4.0]), 0.0),
        (([0.0], [0.0], [math.nan], [1.0]), 0.3),  # a NaN gap saturates too
        (([], [], [], []), out_of_bounds(0, 0)),
        (([0.5, 0.5], [0.0], [1.0, 1.0], [0.0, 0.0]), out_of_bounds(1, 1)),  # any list shorter than confidences
        (([0.5, math.nan], [0.0] * 2, [1.0] * 2, [0.0] * 2), UNWRAP),
        (([0.5, 0.5], [0.0] * 2, [1.0] * 2, [math.nan, 0.0]), UNWRAP),
    ],
)
def test_kappa_limits_and_failures(lists, expected):
    if isinstance(expected, Failure):
        assert outcome(lambda: solve(lists)) == expected.args
    else:
        assert solve(lists)[1][0] == expected


@pytest.mark.parametrize(
    "value",
    [0.0, -0.0, 0.5, 12.0, 0.03125, 0.09375, 0.00005, -0.00004, 2.5e-5, 1e300, -1e300, 5e-324, 123456.78915,
     math.inf, -math.inf, math.nan, -(2**53) + 0.5],
)
def test_repr_rounds_like_python_fixed_point(value):
    # The confidence passes through unchanged and the gap is |0 − value|.
    _, score, text = solve(([value], [0.0], [value], [0.0]))
    assert text == ref.score_repr((score[0], value, abs(value), 0, 0.0))


SPECIAL = [math.nan, math.inf, -math.inf, -0.0, 0.0, 1.0, -1.0, 2.0]


@pytest.mark.parametrize("seed", range(80))
def test_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    target, rate, current, n = rng.uniform(0, 1.1), rng.uniform(-0.5, 2), rng.uniform(-1, 10), rng.randrange(8)

    def values(low, high, length, special=0.05):
        return [rng.choice(SPECIAL) if rng.random() < special else rng.uniform(low, high) for _ in range(max(0, length))]

    lists = [values(-0.2, 1.2, n, special=0.005)]  # and now and then a list of another length:
    lists += [values(-20, 20, n + (rng.choice([-1, 1, 2]) if rng.random() < 0.1 else 0)) for _ in range(3)]
    assert outcome(lambda: solve(lists, current, target, rate)) == outcome(lambda: ref.solve(target, rate, *lists, current))


ATTRIBUTE_DOCS = {
    core.StackelbergSolver: {
        "target_kappa": "Convergence target for κ.",
        "max_iterations": "Maximum number of iterations before stopping.",
        "learning_rate": "Base multiplicative step size for chain-strength adjustment.",
    },
    core.EquilibriumScore: {
        "kappa": "Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy.",
        "confidence": "Raw confidence from the validator.",
        "energy_gap": "Absolute energy gap between best and second-best solution.",
        "iterations": "Number of solver iterations taken to reach this score.",
        "kappa_std": "Standard deviation of κ across all scored iterations (0.0 if < 2).",
    },
}


def test_records():
    s = core.StackelbergSolver(target_kappa=0.25, max_iterations=2**64 - 1, learning_rate=1.5)
    assert (s.target_kappa, s.max_iterations, s.learning_rate) == (0.25, 2**64 - 1, 1.5)
    assert core.StackelbergSolver.solve.__text_signature__ == (
        "($self, confidences, best_energies, second_best_energies, chain_break_fractions, current_chain_strength)")
    for cls, docs in ATTRIBUTE_DOCS.items():
        assert {name: getattr(cls, name).__doc__ for name in docs} == docs
    assert core.EquilibriumScore.__doc__ == "Equilibrium score for a single Stackelberg iteration."


def test_no_leaks():
    s = core.StackelbergSolver(0.9, 10, 0.5)
    assert_no_leak(
        lambda: repr(s.solve([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0], 2.0)[1]),
        lambda: s.solve([0.5, 0.9], [0.0], [1.0, 5.0], [0.1, 0.0], 2.0),
        lambda: s.solve([0.5, math.nan], [0.0] * 2, [1.0] * 2, [0.1] * 2, 2.0),
        lambda: core.StackelbergSolver(0.9, 10, 0.5).target_kappa,
    )
