"""Criticality ranking where NaN weights meet the sort, against the documented outcomes and the reference model (the
random pipeline of test_remap_circuit ranks everything else)."""

import math

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from reference.failures import Failure, outcome


@pytest.mark.parametrize("qubo, n_vars, expected", [
    ([((0, 5), math.nan), ((1, 1), 2.0)], 2, [(1, 2.0), (0, 0.0)]),  # a NaN beyond n_vars is ignored
    ([((0, 0), math.nan)], 1, [(0, math.nan)]),  # no comparison is made
    # NaN criticalities meet the sort's comparisons
    *[(qubo, n, Failure("Panic", "called `Option::unwrap()` on a `None` value"))
      for qubo, n in [([((0, 0), math.nan)], 2), ([((3, 3), 1.0), ((1, 2), -math.nan)], 4)]],
])
def test_criticality_examples(qubo, n_vars, expected):
    # bit for bit, and tuples apart from lists
    expected = expected.args if isinstance(expected, Failure) else outcome(lambda: expected)
    assert outcome(lambda: core.qubo_criticality(qubo, n_vars)) == expected == outcome(lambda: ref.qubo_criticality(qubo, n_vars))
