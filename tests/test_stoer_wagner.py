"""stoer_wagner_bisect: the step-by-step reference, minimality by brute force, the documented cases and errors in
their order, and the size limits. The matrix and list representations are compared with each other by the native test
src/partition/stoer_wagner.test.cc."""

import itertools
import math
import random
import re
import time

import pytest

import tavik.tavik_core as core
from reference.failures import outcome
from reference.stoer_wagner import stoer_wagner_bisect as reference
from support import bits


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


def cut_weight(edges, side):
    return sum(w for i, j, w in edges if (i in side) != (j in side))


@pytest.mark.parametrize("kind", list(WEIGHTS))
@pytest.mark.parametrize("n", [2, 3, 4, 5, 8, 9, 13, 21, 40])
def test_matches_reference_bit_for_bit(kind, n):
    rng = random.Random(f"{kind}/{n}")
    for _ in range(6 if n < 20 else 2):
        edges = random_graph(rng, n, rng.choice([0.1, 0.4, 1.0]), WEIGHTS[kind](rng))
        result = outcome(lambda: core.stoer_wagner_bisect(edges, n))
        assert result == outcome(lambda: reference(edges, n))
        if kind == "small integers (ties)" and n < 10:  # exact sums: minimal among all bipartitions,
            # node n - 1 on one side and any non-empty subset of the others on the other
            subsets = itertools.chain.from_iterable(itertools.combinations(range(n - 1), k) for k in range(1, n))
            assert result[1][0] == float(min(cut_weight(edges, subset) for subset in subsets)).hex()


@pytest.mark.parametrize("edges, n_nodes, expected", [
    ([], 2, (0.0, [1])), ([(0, 0, 5.0)], 2, (0.0, [1])), ([(0, 1, -0.0)], 2, (0.0, [1])),  # a self-loop is ignored
    # a complete graph of equal weights: every selection of the first phase is a tie, broken by index
    ([(i, j, 1.0) for i in range(67) for j in range(i + 1, 67)], 67, (66.0, [66])),
    # n_nodes is checked before any edge is read, edges in order, i before j
    *[([(0, 7, 1.0), (9, 9, math.nan)], n, ("ValueError", "n_nodes must be >= 2 to bisect")) for n in (0, 1)],
    ([(0, 5, 1.0)], 3, ("Panic", "index out of bounds: the len is 3 but the index is 5")),
    ([(0, 1, 1.0), (4, 6, 1.0)], 3, ("Panic", "index out of bounds: the len is 3 but the index is 4")),
    ([(7, 2, 1.0), (9, 0, 1.0)], 3, ("Panic", "index out of bounds: the len is 3 but the index is 7")),
    ([(0, 2**64 - 1, math.nan)], 3, ("Panic", f"index out of bounds: the len is 3 but the index is {2**64 - 1}")),
    # before the matrix is allocated
    ([(0, 2**31, 1.0)], 2**31, ("Panic", f"index out of bounds: the len is {2**31} but the index is {2**31}")),
    # conversion: edges first, then n_nodes, then the n_nodes check
    ([(0, 1)], 1, ("ValueError", "expected tuple of length 3, but got tuple of length 2")),
    ([], -1, ("OverflowError", "can't convert negative int to unsigned")),
])  # fmt: skip
def test_documented_cases(edges, n_nodes, expected):
    got = outcome(lambda: core.stoer_wagner_bisect(edges, n_nodes))
    assert got == (expected if isinstance(expected[0], str) else ("ok", bits(expected)))  # a float weight, int nodes


@pytest.mark.parametrize("n_nodes, expected", [(2**32 - 1, "MemoryError: .*"), (2**32, "PanicException: .*NodeIxLimit")])
def test_sizes_beyond_memory_or_the_node_index_limit_fail_fast(n_nodes, expected):
    start = time.perf_counter()
    with pytest.raises(BaseException) as info:
        core.stoer_wagner_bisect([(0, 1, 1.0)], n_nodes)
    assert time.perf_counter() - start < 1.0
    assert re.fullmatch(expected, f"{type(info.value).__name__}: {info.value}")
