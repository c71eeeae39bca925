import math
import random

import pytest

import tavik.tavik_core as core
from exact import assert_exact, outcome, reference_outcome
from reference import stackelberg as ref
from support import assert_no_leak, raises_panic


def solver(target=0.9, rate=0.5):
    return core.StackelbergSolver(target, 10, rate)


def as_tuple(score):
    return (score.kappa, score.confidence, score.energy_gap, score.iterations, score.kappa_std)


def test_one_iteration():
    strength, score = solver().solve([0.5], [0.0], [1.0], [0.1], 2.0)
    assert score.kappa == 0.4600000000000001 and strength == 2.0 * (0.5 * (1 - 0.4600000000000001) + 1)
    assert repr(score) == (
        "EquilibriumScore(kappa=0.4600, confidence=0.5000, energy_gap=1.0000, kappa_std=0.0000, iterations=0)")


def test_two_iterations():
    strength, score = solver().solve([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0], 2.0)
    assert score.iterations == 1 and score.kappa == 0.8
    assert math.isclose(score.kappa_std, 0.17) and math.isclose(strength, 2.03)


@pytest.mark.parametrize(
    "lists, kappa",
    [
        (([1.0], [0.0], [10.0], [0.0]), 1.0),
        (([1.0], [3.0], [-30.0], [-2.0]), 1.0),  # fraction below 0 counts as 0, gap saturates
        (([0.0], [0.0], [0.0], [1.0]), 0.0),
        (([0.0], [0.0], [0.0], [4.0]), 0.0),
        (([0.0], [0.0], [math.nan], [1.0]), 0.3),  # a NaN gap saturates too
    ],
)
def test_kappa_limits(lists, kappa):
    assert solver().solve(*lists, 1.0)[1].kappa == kappa


def test_equal_kappa_prefers_later_and_target_keeps_strength():
    strength, score = solver(target=0.7).solve([0.4, 0.4], [0.0, 1.0], [1.0, 2.0], [0.0, 0.0], 3.0)
    assert score.iterations == 1 and score.kappa == (0.4 * 0.5 + 0.1 * 0.3) + 0.2 and strength != 3.0
    strength, score = solver(target=score.kappa).solve([0.4, 0.4], [0.0, 1.0], [1.0, 2.0], [0.0, 0.0], 3.0)
    assert strength == 3.0


def test_large_spread_caps_penalty():
    strength, score = solver(target=2.0, rate=1.0).solve([0.0, 1.0], [0.0, 0.0], [0.0, 10.0], [1.0, 0.0], 1.0)
    assert score.kappa_std == 0.5 and strength == 1.0 * ((1.0 * (1.0 - 0.9)) * (1.0 - 1.0) + 1.0)


@pytest.mark.parametrize(
    "lists, message",
    [
        (([], [], [], []), "index out of bounds: the len is 0 but the index is 0"),
        (([0.5, 0.5], [0.0], [1.0, 1.0], [0.0, 0.0]), "index out of bounds: the len is 1 but the index is 1"),
        (([0.5, 0.5], [0.0, 0.0], [1.0], [0.0]), "index out of bounds: the len is 1 but the index is 1"),
        (([0.5, 0.5, 0.5], [0.0] * 3, [1.0] * 3, [0.0]), "index out of bounds: the len is 1 but the index is 1"),
        (([0.5], [], [], []), "index out of bounds: the len is 0 but the index is 0"),
        (([0.5, math.nan], [0.0] * 2, [1.0] * 2, [0.0] * 2), "called `Option::unwrap()` on a `None` value"),
        (([0.5, 0.5], [0.0] * 2, [1.0] * 2, [math.nan, 0.0]), "called `Option::unwrap()` on a `None` value"),
    ],
)
def test_panics(lists, message):
    with raises_panic(message):
        solver().solve(*lists, 1.0)


def test_single_nan_kappa_is_scored():
    strength, score = solver().solve([math.nan], [0.0], [1.0], [0.0], 2.0)
    assert math.isnan(score.kappa) and math.isnan(strength)
    assert repr(score).startswith("EquilibriumScore(kappa=NaN, confidence=NaN, ")


VALUES = [0.0, -0.0, 0.5, 12.0, 0.03125, 0.09375, 0.00005, -0.00004, 2.5e-5, 1e300, -1e300, 5e-324, 123456.78915,
          math.inf, -math.inf, math.nan, -(2**53) + 0.5]


@pytest.mark.parametrize("value", VALUES)
def test_repr_rounds_like_python_fixed_point(value):
    # The confidence passes through unchanged and the gap is |0 − value|.
    score = solver().solve([value], [0.0], [value], [0.0], 1.0)[1]
    gap = abs(value)
    assert repr(score) == ref.score_repr((score.kappa, value, gap, 0, 0.0))
    if not math.isnan(value) and not math.isinf(value):
        assert f"confidence={value:.4f}, energy_gap={gap:.4f}," in repr(score)


def random_lists(rng):
    n = rng.randrange(0, 8)
    special = [math.nan, math.inf, -math.inf, -0.0, 0.0, 1.0, -1.0, 2.0]

    def value(scale):
        return rng.choice(special) if rng.random() < 0.05 else rng.uniform(-scale, scale)

    lengths = [n + (rng.choice([-1, 1, 2]) if rng.random() < 0.1 else 0) for _ in range(3)]
    return ([rng.uniform(-0.2, 1.2) if rng.random() > 0.05 else value(1) for _ in range(n)],
            *[[value(20) for _ in range(max(0, k))] for k in lengths])


@pytest.mark.parametrize("seed", range(80))
def test_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    target, rate, current = rng.uniform(0, 1.1), rng.uniform(-0.5, 2), rng.uniform(-1, 10)
    lists = random_lists(rng)
    s = core.StackelbergSolver(target, 7, rate)
    got = outcome(lambda: (lambda r: (r[0], as_tuple(r[1]), repr(r[1])))(s.solve(*lists, current)))
    expected = reference_outcome(
        lambda: (lambda r: (r[0], r[1], ref.score_repr(r[1])))(ref.solve(target, rate, *lists, current)))
    assert got == expected


def test_solver_record():
    s = core.StackelbergSolver(target_kappa=1, max_iterations=2**64 - 1, learning_rate=True)
    assert (s.target_kappa, s.max_iterations, s.learning_rate) == (1.0, 2**64 - 1, 1.0)
    assert type(s.target_kappa) is float and type(s.learning_rate) is float
    with pytest.raises(AttributeError):
        s.target_kappa = 0.5
    with pytest.raises(OverflowError):
        core.StackelbergSolver(0.5, -1, 0.1)
    assert core.StackelbergSolver.__text_signature__ == "(target_kappa, max_iterations, learning_rate)"
    assert core.StackelbergSolver.solve.__text_signature__ == (
        "($self, confidences, best_energies, second_best_energies, chain_break_fractions, current_chain_strength)")
    with pytest.raises(TypeError, match="argument 'confidences': Can't extract `str` to `Vec`"):
        s.solve("1", [], [], [], 1.0)


def test_score_record():
    score = solver().solve([0.5], [0.0], [1.0], [0.1], 2.0)[1]
    with pytest.raises(TypeError, match="^No constructor defined for EquilibriumScore$"):
        core.EquilibriumScore()
    for name in ("kappa", "confidence", "energy_gap", "iterations", "kappa_std"):
        with pytest.raises(AttributeError):
            setattr(score, name, 1)
    assert core.EquilibriumScore.__doc__ == "Equilibrium score for a single Stackelberg iteration."
    docs = {name: getattr(core.EquilibriumScore, name).__doc__ for name in
            ("kappa", "confidence", "energy_gap", "iterations", "kappa_std")}
    assert docs == {
        "kappa": "Calibration margin κ ∈ [0.0, 1.0]. Higher is more trustworthy.",
        "confidence": "Raw confidence from the validator.",
        "energy_gap": "Absolute energy gap between best and second-best solution.",
        "iterations": "Number of solver iterations taken to reach this score.",
        "kappa_std": "Standard deviation of κ across all scored iterations (0.0 if < 2).",
    }
    assert {name: getattr(core.StackelbergSolver, name).__doc__ for name in
            ("target_kappa", "max_iterations", "learning_rate")} == {
        "target_kappa": "Convergence target for κ.",
        "max_iterations": "Maximum number of iterations before stopping.",
        "learning_rate": "Base multiplicative step size for chain-strength adjustment.",
    }
    assert_exact(as_tuple(score), (0.4600000000000001, 0.5, 1.0, 0, 0.0))


def test_no_leaks():
    s = solver()
    assert_no_leak(
        lambda: repr(s.solve([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0], 2.0)[1]),
        lambda: s.solve([0.5, 0.9], [0.0], [1.0, 5.0], [0.1, 0.0], 2.0),
        lambda: s.solve([0.5, math.nan], [0.0] * 2, [1.0] * 2, [0.1] * 2, 2.0),
        lambda: s.solve("x", [], [], [], 2.0),
        lambda: core.StackelbergSolver(0.9, 10, 0.5).target_kappa,
        lambda: core.EquilibriumScore(),
    )
