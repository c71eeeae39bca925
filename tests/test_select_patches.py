"""Patch selection and its records against the documented cases and the reference model."""

import math

import pytest

from reference import ecc as ref
from support import patch_records as records
from tavik.tavik_core import ecc

RANKED = [(4, 2.0), (1, 1.5), (0, 0.0)]


@pytest.mark.parametrize("ranked, budget, distance, expected", [
    (RANKED, 20, 3, [(4, 3, 0, 9), (1, 3, 9, 18)]),
    (RANKED, 27, 3, [(4, 3, 0, 9), (1, 3, 9, 18), (0, 3, 18, 27)]),
    (RANKED, 1000, 3, [(4, 3, 0, 9), (1, 3, 9, 18), (0, 3, 18, 27)]),
    (RANKED, 8, 3, []),
    (RANKED, 100, 0, []),
    ([], 100, 2, []),
    ([(2, 0.0), (2, 0.0)], 10, 2, [(2, 2, 0, 4), (2, 2, 4, 8)]),
    ([(7, math.nan), (3, -1.0)], 2, 1, [(7, 1, 0, 1), (3, 1, 1, 2)]),
    # Near the top of the 64-bit range the walk stops where the next block would pass the budget, instead of wrapping
    # around.
    ([(0, 1.0)] * 5, 2**64 - 1, 2**31, [(0, 2**31, k * 2**62, (k + 1) * 2**62) for k in range(3)]),
    ([(0, 1.0)] * 5, 2**64 - 1, 2**32 - 1, [(0, 2**32 - 1, 0, (2**32 - 1) ** 2)]),
])
def test_select_patches(ranked, budget, distance, expected):
    assert records(ecc.select_patches(ranked, budget, distance)) == expected == ref.select_patches(ranked, budget, distance)


def test_patch_assignment_repr():
    assert [repr(a) for a in ecc.select_patches(RANKED, 20, 3)] == [
        "PatchAssignment(logical_var=4, distance=3, physical_qubits=0..9)",
        "PatchAssignment(logical_var=1, distance=3, physical_qubits=9..18)",
    ]
