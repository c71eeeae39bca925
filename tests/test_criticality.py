"""Criticality ranking against the documented cases and the reference model."""

import math

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from reference.failures import Failure, outcome


@pytest.mark.parametrize("qubo, n_vars, expected", [
    ([((0, 1), -2.0), ((1, 1), 1.0), ((2, 5), 3.0), ((2, 2), 0.5)], 3, [(1, 3.0), (0, 2.0), (2, 0.5)]),
    ([((0, 1), 1.0)], 3, [(0, 1.0), (1, 1.0), (2, 0.0)]),
    ([], 0, []),
    ([], 2, [(0, 0.0), (1, 0.0)]),
    ([((1, 1), 0.0), ((0, 0), -0.0)], 3, [(0, 0.0), (1, 0.0), (2, 0.0)]),
    ([((2, 0), math.inf), ((1, 1), 5.0)], 3, [(0, math.inf), (2, math.inf), (1, 5.0)]),
    ([((0, 5), math.nan), ((1, 1), 2.0)], 2, [(1, 2.0), (0, 0.0)]),  # a NaN beyond n_vars is ignored
    ([((0, 0), math.nan)], 1, [(0, math.nan)]),  # no comparison is made
    # NaN criticalities meet the sort's comparisons
    *[(qubo, n, Failure("Panic", "called `Option::unwrap()` on a `None` value"))
      for qubo, n in [([((0, 0), math.nan)], 2), ([((3, 3), 1.0), ((1, 2), -math.nan)], 4)]],
])
def test_criticality_examples(qubo, n_vars, expected):
    # bits keeps tuples apart from lists and +0.0 (for -0.0 weights) apart from -0.0
    expected = expected.args if isinstance(expected, Failure) else outcome(lambda: expected)
    assert outcome(lambda: core.qubo_criticality(qubo, n_vars)) == expected == outcome(lambda: ref.qubo_criticality(qubo, n_vars))
