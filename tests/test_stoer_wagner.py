"""stoer_wagner_bisect: the documented phases against the step-by-step
reference, minimality against brute force, errors in their order, and the
size limits."""

import itertools
import math
import random
import time

import pytest

import tavik.tavik_core as core
from reference.stoer_wagner import Panic
from reference.stoer_wagner import stoer_wagner_bisect as reference
from support import assert_no_leak, bits, raises_panic


def outcome(fn, *args):
    """(weight bits, side) or (error kind, message); the reference's Panic and
    the module's PanicException count as the same kind."""
    try:
        weight, side = fn(*args)
    except Panic as e:
        return ("panic", str(e))
    except ValueError as e:
        return ("ValueError", str(e))
    except BaseException as e:
        if type(e).__name__ != "PanicException":
            raise
        return ("panic", str(e))
    return bits((weight, side))


def random_graph(rng, n, density, weights):
    edges = [(i, j, weights()) for i in range(n) for j in range(n) if i < j and rng.random() < density]
    edges += [(j, i, weights()) for i, j, _ in rng.sample(edges, len(edges) // 5)]  # parallel edges
    edges += [(i, i, weights()) for i in rng.sample(range(n), n // 4)]  # self-loops
    rng.shuffle(edges)
    return [(i, j, w) if rng.random() < 0.5 else (j, i, w) for i, j, w in edges]


WEIGHTS = {
    "uniform": lambda rng: lambda: rng.uniform(0.0, 10.0),
    "small integers (ties)": lambda rng: lambda: float(rng.randint(0, 3)),
    "signed": lambda rng: lambda: rng.uniform(-5.0, 10.0),
    "special": lambda rng: lambda: rng.choice([1.0, 2.0, 0.5, math.inf, math.nan, -math.inf, -0.0, 1e308]),
}


@pytest.mark.parametrize("kind", list(WEIGHTS))
@pytest.mark.parametrize("n", [2, 3, 4, 5, 8, 13, 21, 40])
def test_matches_reference_bit_for_bit(kind, n):
    rng = random.Random(f"{kind}/{n}")
    for _ in range(6 if n < 20 else 2):
        edges = random_graph(rng, n, rng.choice([0.1, 0.4, 1.0]), WEIGHTS[kind](rng))
        assert outcome(core.stoer_wagner_bisect, edges, n) == outcome(reference, edges, n)


@pytest.mark.parametrize("weights", ["uniform", "small integers (ties)"])
def test_matches_reference_while_compacting_many_vertices(weights):
    # Enough vertices for merged-away positions to be compacted several times.
    n = 75
    rng = random.Random(weights)
    edges = random_graph(rng, n, 0.6, WEIGHTS[weights](rng))
    assert outcome(core.stoer_wagner_bisect, edges, n) == outcome(reference, edges, n)


def test_complete_graph_of_equal_weights_breaks_every_tie_by_index():
    n = 67
    edges = [(i, j, 1.0) for i in range(n) for j in range(i + 1, n)]
    assert outcome(core.stoer_wagner_bisect, edges, n) == outcome(reference, edges, n)


def cut_weight(edges, side):
    side = set(side)
    return sum(w for i, j, w in edges if (i in side) != (j in side))


@pytest.mark.parametrize("n", [2, 3, 5, 7, 9])
def test_cut_is_minimal_over_all_bipartitions(n):
    rng = random.Random(n)
    for _ in range(10):
        # Integer weights keep every sum exact, whatever its order.
        edges = random_graph(rng, n, rng.choice([0.3, 0.7, 1.0]), lambda: float(rng.randint(0, 9)))
        weight, side = core.stoer_wagner_bisect(edges, n)
        assert 0 < len(side) < n and len(set(side)) == len(side) and set(side) <= set(range(n))
        assert cut_weight(edges, side) == weight
        # Every bipartition: node n-1 on the complement side, any subset of the others beside it.
        best = min(
            cut_weight(edges, subset)
            for size in range(1, n)
            for subset in itertools.combinations(range(n - 1), size)
        )
        assert weight == best


@pytest.mark.parametrize(
    "edges, n_nodes, expected",
    [
        ([(0, 1, 4.0), (0, 3, 2.0), (2, 3, 5.0)], 4, (2.0, [3, 2])),
        ([], 2, (0.0, [1])),
        ([(0, 1, 1.0), (1, 2, 2.0)], 3, (1.0, [1, 2])),
        ([(0, 1, 1.0), (1, 0, 2.0)], 2, (3.0, [1])),
        ([(0, 0, 5.0)], 2, (0.0, [1])),
        ([(0, 1, 2.0), (1, 2, 2.0), (0, 2, 2.0)], 3, (4.0, [2])),
        ([(0, 1, 1.0), (2, 3, 1.0)], 4, (0.0, [2, 3])),
        ([(0, 1, -0.0)], 2, (0.0, [1])),
    ],
    ids=["worked example", "no edges", "path", "parallel", "self-loop", "triangle tie", "isolated", "negative zero"],
)
def test_documented_cases(edges, n_nodes, expected):
    weight, side = core.stoer_wagner_bisect(edges, n_nodes)
    assert bits((weight, side)) == bits(expected)
    assert type(weight) is float and all(type(v) is int for v in side)


@pytest.mark.parametrize("n_nodes", [0, 1])
def test_too_few_nodes_before_any_edge_is_read(n_nodes):
    with pytest.raises(ValueError, match="^n_nodes must be >= 2 to bisect$"):
        core.stoer_wagner_bisect([(0, 7, 1.0), (9, 9, math.nan)], n_nodes)


@pytest.mark.parametrize(
    "edges, message",
    [
        ([(0, 5, 1.0)], "index out of bounds: the len is 3 but the index is 5"),
        ([(0, 1, 1.0), (4, 6, 1.0)], "index out of bounds: the len is 3 but the index is 4"),
        ([(7, 2, 1.0), (9, 0, 1.0)], "index out of bounds: the len is 3 but the index is 7"),
        ([(0, 2**64 - 1, math.nan)], f"index out of bounds: the len is 3 but the index is {2**64 - 1}"),
    ],
)
def test_out_of_range_endpoint(edges, message):
    with raises_panic(message):
        core.stoer_wagner_bisect(edges, 3)


@pytest.mark.parametrize(
    "weight, expected",
    [
        (math.inf, ("ValueError", "no cut found")),
        (math.nan, ("panic", "a candidate remains while n_in_a < active_count")),
        (-math.inf, ("panic", "a candidate remains while n_in_a < active_count")),
    ],
)
def test_non_finite_single_edge(weight, expected):
    assert outcome(core.stoer_wagner_bisect, [(0, 1, weight)], 2) == expected


@pytest.mark.parametrize(
    "args, error, message",
    [
        (([], -1), OverflowError, "can't convert negative int to unsigned"),
        (([[0, 1, 1.0]], 2), TypeError, "argument 'edges': 'list' object cannot be converted to 'PyTuple'"),
        (([(0, 1)], 2), ValueError, "expected tuple of length 3, but got tuple of length 2"),
        (([(0, -1, 1.0)], 2), OverflowError, "can't convert negative int to unsigned"),
        (([(0, 1, "w")], 2), TypeError, "argument 'edges': must be real number, not str"),
        (("ab", 2), TypeError, "argument 'edges': Can't extract `str` to `Vec`"),
        (([], 2.0), TypeError, "argument 'n_nodes': 'float' object cannot be interpreted as an integer"),
        # edges convert before n_nodes
        (([(0, 1)], -1), ValueError, "expected tuple of length 3, but got tuple of length 2"),
        (([],), TypeError, "stoer_wagner_bisect() missing 1 required positional argument: 'n_nodes'"),
    ],
)
def test_conversion_errors(args, error, message):
    with pytest.raises(error) as info:
        core.stoer_wagner_bisect(*args)
    assert type(info.value) is error and str(info.value) == message


def test_keywords_and_arguments_untouched():
    edges = [(0, 1, 1.0), (1, 2, 2.0)]
    assert core.stoer_wagner_bisect(n_nodes=3, edges=edges) == (1.0, [1, 2])
    assert edges == [(0, 1, 1.0), (1, 2, 2.0)]


@pytest.mark.parametrize("n_nodes", [2**31, 2**32 - 1, 3 * 10**6])
def test_matrix_beyond_memory_fails_fast(n_nodes):
    start = time.perf_counter()
    with pytest.raises(MemoryError):
        core.stoer_wagner_bisect([(0, 1, 1.0)], n_nodes)
    assert time.perf_counter() - start < 1.0


@pytest.mark.parametrize("n_nodes", [2**32, 2**40, 2**64 - 1])
def test_node_index_limit(n_nodes):
    with pytest.raises(BaseException) as info:
        core.stoer_wagner_bisect([(0, 1, 1.0)], n_nodes)
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value).endswith("NodeIxLimit")


def test_endpoint_is_checked_before_the_matrix_is_allocated():
    with raises_panic(f"index out of bounds: the len is {2**31} but the index is {2**31}"):
        core.stoer_wagner_bisect([(0, 2**31, 1.0)], 2**31)


def test_no_leak():
    edges = [(0, 1, 4.0), (0, 3, 2.0), (2, 3, 5.0)]
    assert_no_leak(
        lambda: core.stoer_wagner_bisect(edges, 4),
        lambda: core.stoer_wagner_bisect(edges, 1),
        lambda: core.stoer_wagner_bisect(edges, 3),
        lambda: core.stoer_wagner_bisect([(0, 1, math.nan)], 2),
        lambda: core.stoer_wagner_bisect([(0, 1, math.inf)], 2),
        lambda: core.stoer_wagner_bisect([(0, 1)], 2),
        lambda: core.stoer_wagner_bisect(edges, 2**31),
    )
