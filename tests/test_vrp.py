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


def random_instance(rng, n, special):
    def draw():
        return rng.choice(SPECIAL) if special and rng.random() < 0.15 else rng.uniform(-10.0, 10.0)

    return [[draw() for _ in range(n)] for _ in range(n)], draw(), draw()


@pytest.mark.parametrize("n", [*range(0, 14), 17, 23])
@pytest.mark.parametrize("special", [False, True])
def test_matches_reference_bit_for_bit(n, special):
    rng = random.Random(1000 * n + special)
    for _ in range(3 if n < 14 else 1):
        dist, a, b = random_instance(rng, n, special)
        result = core.vrp_qubo_terms(dist, a, b)
        assert as_bits(result) == as_bits(reference(dist, a, b))
        assert all(type(v) is float for v in result.values())


@pytest.mark.parametrize("n, count", [(0, 0), (1, 1), (2, 10), (3, 45), (4, 112), (7, 637)])
def test_entry_count(n, count):
    assert len(core.vrp_qubo_terms([[1.0] * n for _ in range(n)], 1.0, 1.0)) == count


def test_one_node_is_one_linear_term_and_reads_no_distance():
    assert as_bits(core.vrp_qubo_terms([[math.nan]], 1.25, 1.0)) == [(("x_0_0", "x_0_0"), float.hex(-2.5))]


def test_two_nodes_in_documented_order():
    a, b, d01, d10 = 1.5, 0.5, 3.0, 7.0
    both = b * d01 + b * d10
    expected = [
        (("x_0_0", "x_0_0"), -2 * a),
        (("x_0_0", "x_0_1"), 2 * a),
        (("x_0_0", "x_1_0"), 2 * a),
        (("x_0_0", "x_1_1"), both),
        (("x_0_1", "x_0_1"), -2 * a),
        (("x_0_1", "x_1_0"), both),
        (("x_0_1", "x_1_1"), 2 * a),
        (("x_1_0", "x_1_0"), -2 * a),
        (("x_1_0", "x_1_1"), 2 * a),
        (("x_1_1", "x_1_1"), -2 * a),
    ]
    assert list(core.vrp_qubo_terms([[0.0, d01], [d10, 0.0]], a, b).items()) == expected


def test_keys_follow_name_order_and_insertion_follows_index_order():
    n = 12
    result = core.vrp_qubo_terms([[1.0] * n for _ in range(n)], 1.0, 1.0)
    keys = list(result)
    assert ("x_10_2", "x_2_2") in result and ("x_2_2", "x_10_2") not in result
    assert ("x_1_10", "x_1_2") in result and ("x_1_2", "x_1_10") not in result
    assert all(first <= second for first, second in keys)
    # (x_1_10, x_1_2) sorts by first index n + 10, second index n + 2.
    index = {f"x_{i}_{t}": n * i + t for i in range(n) for t in range(n)}
    order = [(index[first], index[second]) for first, second in keys]
    assert order == sorted(order)
    assert keys.index(("x_1_10", "x_1_2")) > keys.index(("x_1_9", "x_1_9"))


def test_asymmetric_distances_orient_the_tour():
    n = 3
    dist = [[0.0, 2.0, 3.0], [5.0, 0.0, 7.0], [11.0, 13.0, 0.0]]
    result = core.vrp_qubo_terms(dist, 0.0, 1.0)
    # node 0 at position 1 followed by node 2 at position 2 uses d_02; the reverse uses d_20
    assert result[("x_0_1", "x_2_2")] == 3.0
    assert result[("x_0_2", "x_2_1")] == 11.0
    assert len(result) == n * n * (2 * n - 1)


def test_zero_penalties_and_distances_still_emit_every_entry():
    n = 4
    result = core.vrp_qubo_terms([[0.0] * n for _ in range(n)], 0.0, 0.0)
    assert len(result) == 112
    assert {float.hex(v) for v in result.values()} == {float.hex(0.0)}


def test_nan_distance_reaches_exactly_its_tour_entries():
    n = 4
    dist = [[1.0] * n for _ in range(n)]
    dist[1][3] = math.nan
    result = core.vrp_qubo_terms(dist, 1.0, 2.0)
    nan_keys = {key for key, value in result.items() if value != value}
    index = {f"x_{i}_{t}": (i, t) for i in range(n) for t in range(n)}
    assert len(nan_keys) == n
    for first, second in nan_keys:
        (u, t), (v, w) = sorted([index[first], index[second]], key=lambda p: p[0] != 1)
        assert (u, v, w) == (1, 3, (t + 1) % n)


def test_every_key_shares_one_string_per_name():
    n = 5
    result = core.vrp_qubo_terms([[1.0] * n for _ in range(n)], 1.0, 1.0)
    objects = {}
    for key in result:
        for name in key:
            objects.setdefault(name, set()).add(id(name))
    assert len(objects) == n * n
    assert all(len(ids) == 1 for ids in objects.values())


def test_arguments_are_not_modified_and_any_sequences_are_accepted():
    dist = [[0.0, 1.0, 2.0], (3.0, 0.0, 4), [5, 6.0, 0.0]]
    snapshot = [list(row) for row in dist]
    result = core.vrp_qubo_terms(tuple(dist), 1, 2)
    assert [list(row) for row in dist] == snapshot
    assert as_bits(result) == as_bits(reference([[float(x) for x in row] for row in dist], 1.0, 2.0))


@pytest.mark.parametrize(
    "dist",
    [[[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]], [[1.0, 2.0], [3.0]], [[1.0], [2.0]], [[1.0, 2.0]], [[]], [[1.0, 2.0], []]],
    ids=["2x3", "ragged", "2x1", "1x2", "1x0", "short last row"],
)
def test_non_square_matrix(dist):
    with pytest.raises(ValueError, match="^distance matrix must be square$"):
        core.vrp_qubo_terms(dist, 1.0, 1.0)


@pytest.mark.parametrize(
    "args, error, message",
    [
        (("ab", 1.0, 1.0), TypeError, "argument 'dist': Can't extract `str` to `Vec`"),
        (({}, 1.0, 1.0), TypeError, "argument 'dist': 'dict' object cannot be converted to 'Sequence'"),
        ((["ab"], 1.0, 1.0), TypeError, "argument 'dist': Can't extract `str` to `Vec`"),
        (([[1.0, 2.0], 3.0], 1.0, 1.0), TypeError, "argument 'dist': 'float' object cannot be converted to 'Sequence'"),
        (([["x"]], 1.0, 1.0), TypeError, "argument 'dist': must be real number, not str"),
        # conversion comes first: a non-square matrix with a bad penalty reports the penalty
        (([[1.0, 2.0]], 1.0, "b"), TypeError, "argument 'penalty_b': must be real number, not str"),
        (([[1.0, 2.0]], None, "b"), TypeError, "argument 'penalty_a': must be real number, not NoneType"),
        (([[1.0]], 1.0), TypeError, "vrp_qubo_terms() missing 1 required positional argument: 'penalty_b'"),
        (([[1.0]], 1.0, 1.0, 1.0), TypeError, "vrp_qubo_terms() takes 3 positional arguments but 4 were given"),
        (([[10**400]], 1.0, 1.0), OverflowError, "int too large to convert to float"),
    ],
)
def test_conversion_errors(args, error, message):
    with pytest.raises(error) as info:
        core.vrp_qubo_terms(*args)
    assert type(info.value) is error and str(info.value) == message


def test_keywords():
    assert core.vrp_qubo_terms(penalty_b=1.0, dist=[[0.0]], penalty_a=2.0) == {("x_0_0", "x_0_0"): -4.0}


def test_instances_too_large_for_memory_fail_fast():
    # Far beyond the 32-bit variable indices: one shared row, 4.9e9 logical entries.
    row = [0.0] * 70_000
    with pytest.raises(MemoryError):
        core.vrp_qubo_terms([row] * 70_000, 1.0, 1.0)
    # Within the index width, but ~16e9 entries cannot fit any memory.
    row = [0.0] * 2_000
    with pytest.raises(MemoryError):
        core.vrp_qubo_terms([row] * 2_000, 1.0, 1.0)
    # Many rows, but visibly not square: the documented error, not a memory one.
    with pytest.raises(ValueError, match="^distance matrix must be square$"):
        core.vrp_qubo_terms([[0.0, 1.0]] * 70_000, 1.0, 1.0)
    with pytest.raises(ValueError, match="^distance matrix must be square$"):
        core.vrp_qubo_terms([[0.0] * 70_000] * 3, 1.0, 1.0)


def test_no_leak():
    dist = [[0.0, 1.0, 2.0], [1.0, 0.0, 3.0], [2.0, 3.0, 0.0]]
    assert_no_leak(
        lambda: core.vrp_qubo_terms(dist, 1.0, 0.5),
        lambda: core.vrp_qubo_terms([[1.0, 2.0]], 1.0, 1.0),
        lambda: core.vrp_qubo_terms([[1.0, "x"]], 1.0, 1.0),
        lambda: core.vrp_qubo_terms(dist, 1.0, None),
        repeat=1000,
    )
