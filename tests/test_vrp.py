"""vrp_qubo_terms: keys, values and insertion order against the step-by-step
reference, the documented small cases, errors and their precedence, shared
name objects, and the memory guard."""

import math
import random

import pytest

import tavik.tavik_core as core
from reference.vrp import vrp_qubo_terms as reference
from support import assert_no_leak, bits

SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 5e-324, -1.5, 1e308]


def as_bits(qubo):
    """Items in insertion order, values compared bit for bit."""
    return bits(list(qubo.items()))


def ones(n):
    return [[1.0] * n for _ in range(n)]


@pytest.mark.parametrize("n", [*range(0, 14), 17, 23])
@pytest.mark.parametrize("special", [False, True])
def test_matches_reference_bit_for_bit(n, special):
    rng = random.Random(1000 * n + special)

    def draw():
        return rng.choice(SPECIAL) if special and rng.random() < 0.15 else rng.uniform(-10.0, 10.0)

    for _ in range(3 if n < 14 else 1):
        dist, a, b = [[draw() for _ in range(n)] for _ in range(n)], draw(), draw()
        result = core.vrp_qubo_terms(dist, a, b)
        assert as_bits(result) == as_bits(reference(dist, a, b))
        assert all(type(v) is float for v in result.values())


def test_documented_small_cases():
    assert core.vrp_qubo_terms([], 1.0, 1.0) == {}
    # One node: one linear term, the distance is never read.
    assert as_bits(core.vrp_qubo_terms([[math.nan]], 1.25, 1.0)) == [(("x_0_0", "x_0_0"), float.hex(-2.5))]
    a, b, d01, d10 = 1.5, 0.5, 3.0, 7.0
    both = b * d01 + b * d10
    expected = [
        (("x_0_0", "x_0_0"), -2 * a), (("x_0_0", "x_0_1"), 2 * a), (("x_0_0", "x_1_0"), 2 * a), (("x_0_0", "x_1_1"), both),
        (("x_0_1", "x_0_1"), -2 * a), (("x_0_1", "x_1_0"), both), (("x_0_1", "x_1_1"), 2 * a),
        (("x_1_0", "x_1_0"), -2 * a), (("x_1_0", "x_1_1"), 2 * a),
        (("x_1_1", "x_1_1"), -2 * a),
    ]  # fmt: skip
    assert list(core.vrp_qubo_terms([[0.0, d01], [d10, 0.0]], a, b).items()) == expected


def test_keys_follow_name_order_and_insertion_follows_index_order():
    n = 12
    keys = list(core.vrp_qubo_terms(ones(n), 1.0, 1.0))
    index = {f"x_{i}_{t}": n * i + t for i in range(n) for t in range(n)}
    assert ("x_10_2", "x_2_2") in keys and all(first <= second for first, second in keys)
    # (x_1_10, x_1_2) is inserted by first index n + 10, second index n + 2.
    assert [(index[a], index[b]) for a, b in keys] == sorted((index[a], index[b]) for a, b in keys)
    assert keys.index(("x_1_10", "x_1_2")) > keys.index(("x_1_9", "x_1_9"))


def test_asymmetric_distances_orient_the_tour():
    result = core.vrp_qubo_terms([[0.0, 2.0, 3.0], [5.0, 0.0, 7.0], [11.0, 13.0, 0.0]], 0.0, 1.0)
    # node 0 at position 1 followed by node 2 at position 2 uses d_02; the reverse uses d_20
    assert (result[("x_0_1", "x_2_2")], result[("x_0_2", "x_2_1")]) == (3.0, 11.0)


@pytest.mark.parametrize("n", [3, 4, 7])
def test_zero_penalties_and_distances_still_emit_every_entry(n):
    result = core.vrp_qubo_terms([[0.0] * n for _ in range(n)], 0.0, 0.0)
    assert len(result) == n * n * (2 * n - 1)
    assert {float.hex(v) for v in result.values()} == {float.hex(0.0)}


def test_nan_distance_reaches_exactly_its_tour_entries():
    n, dist = 4, ones(4)
    dist[1][3] = math.nan
    where = {f"x_{i}_{t}": (i, t) for i in range(n) for t in range(n)}
    result = core.vrp_qubo_terms(dist, 1.0, 2.0)
    nan_pairs = sorted(sorted((where[a], where[b]), key=lambda p: p[0] != 1) for (a, b), v in result.items() if v != v)
    assert nan_pairs == [[(1, t), (3, (t + 1) % n)] for t in range(n)]  # node 1 at t, then node 3 at t + 1


def test_every_key_shares_one_string_per_name():
    objects = {}
    for key in core.vrp_qubo_terms(ones(5), 1.0, 1.0):
        for name in key:
            objects.setdefault(name, set()).add(id(name))
    assert len(objects) == 25 and all(len(ids) == 1 for ids in objects.values())


@pytest.mark.parametrize(
    "dist",
    [[[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]], [[1.0, 2.0], [3.0]], [[1.0], [2.0]], [[1.0, 2.0]], [[]], [[1.0, 2.0], []],
     [[0.0, 1.0]] * 70_000, [[0.0] * 70_000] * 3],  # many rows, but visibly not square: not a memory error
)  # fmt: skip
def test_non_square_matrix_is_refused_after_conversion(dist):
    with pytest.raises(ValueError, match="^distance matrix must be square$"):
        core.vrp_qubo_terms(dist, 1.0, 1.0)
    with pytest.raises(TypeError, match="^argument 'penalty_b': must be real number, not str$"):
        core.vrp_qubo_terms(dist, 1.0, "b")


def test_instances_too_large_for_memory_fail_fast():
    # Far beyond the 32-bit variable indices (one shared row, 4.9e9 logical entries),
    # then within the index width, but ~16e9 entries cannot fit any memory.
    for n in (70_000, 2_000):
        with pytest.raises(MemoryError):
            core.vrp_qubo_terms([[0.0] * n] * n, 1.0, 1.0)


def test_no_leak():
    dist = [[0.0, 1.0, 2.0], [1.0, 0.0, 3.0], [2.0, 3.0, 0.0]]
    assert_no_leak(
        lambda: core.vrp_qubo_terms(dist, 1.0, 0.5),
        lambda: core.vrp_qubo_terms([[1.0, 2.0]], 1.0, 1.0),
        lambda: core.vrp_qubo_terms([[1.0, "x"]], 1.0, 1.0),
        lambda: core.vrp_qubo_terms(dist, 1.0, None),
        repeat=1000,
    )
