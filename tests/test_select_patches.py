"""Patch selection against the documented cases and the reference model where the budget is filled exactly or reaches
the top of the 64-bit range (the random pipeline of test_remap_circuit selects on small budgets)."""

import pytest

from reference import ecc as ref
from support import patch_records as records
from tavik.tavik_core import ecc


@pytest.mark.parametrize("ranked, budget, distance, expected", [
    ([(4, 2.0), (1, 1.5), (0, 0.0)], 27, 3, [(4, 3, 0, 9), (1, 3, 9, 18), (0, 3, 18, 27)]),  # the budget filled exactly
    # Near the top of the 64-bit range the walk stops where the next block would pass the budget, instead of wrapping
    # around.
    ([(0, 1.0)] * 5, 2**64 - 1, 2**31, [(0, 2**31, k * 2**62, (k + 1) * 2**62) for k in range(3)]),
    ([(0, 1.0)] * 5, 2**64 - 1, 2**32 - 1, [(0, 2**32 - 1, 0, (2**32 - 1) ** 2)]),
])
def test_select_patches(ranked, budget, distance, expected):
    assert records(ecc.select_patches(ranked, budget, distance)) == expected == ref.select_patches(ranked, budget, distance)
