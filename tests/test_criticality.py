"""Criticality ranking against the documented cases and the reference model."""

import math

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import bits, raises_panic


@pytest.mark.parametrize("qubo, n_vars, expected", [
    ([((0, 1), -2.0), ((1, 1), 1.0), ((2, 5), 3.0), ((2, 2), 0.5)], 3, [(1, 3.0), (0, 2.0), (2, 0.5)]),
    ([((0, 1), 1.0)], 3, [(0, 1.0), (1, 1.0), (2, 0.0)]),
    ([], 0, []),
    ([], 2, [(0, 0.0), (1, 0.0)]),
    ([((1, 1), 0.0), ((0, 0), -0.0)], 3, [(0, 0.0), (1, 0.0), (2, 0.0)]),
    ([((2, 0), math.inf), ((1, 1), 5.0)], 3, [(0, math.inf), (2, math.inf), (1, 5.0)]),
    ([((0, 5), math.nan), ((1, 1), 2.0)], 2, [(1, 2.0), (0, 0.0)]),  # a NaN beyond n_vars is ignored
    ([((0, 0), math.nan)], 1, [(0, math.nan)]),  # no comparison is made
    # NaN criticalities meet the sort's comparisons: None stands for the panic
    ([((0, 0), math.nan)], 2, None),
    ([((3, 3), 1.0), ((1, 2), -math.nan)], 4, None),
])
def test_criticality_examples(qubo, n_vars, expected):
    if expected is None:
        with raises_panic("called `Option::unwrap()` on a `None` value"):
            core.qubo_criticality(qubo, n_vars)
        with pytest.raises(ref.Panic, match="Option::unwrap"):
            ref.qubo_criticality(qubo, n_vars)
        return
    # bits keeps tuples apart from lists and +0.0 (for -0.0 weights) apart from -0.0
    assert bits(core.qubo_criticality(qubo, n_vars)) == bits(expected) == bits(ref.qubo_criticality(qubo, n_vars))
