"""Criticality ranking, patch selection and circuit remapping (refusals and leaks: test_ecc.py)."""

import math
import random

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import bits, raises_panic

ecc = core.ecc
RANKED = [(4, 2.0), (1, 1.5), (0, 0.0)]


def records(assignments):
    return [(a.logical_var, a.distance, a.physical_start, a.physical_end) for a in assignments]


# --- qubo_criticality -------------------------------------------------------------


@pytest.mark.parametrize(
    "qubo, n_vars, expected",
    [
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
    ],
)
def test_criticality_examples(qubo, n_vars, expected):
    if expected is None:
        with raises_panic("called `Option::unwrap()` on a `None` value"):
            core.qubo_criticality(qubo, n_vars)
        with pytest.raises(ref.Panic, match="Option::unwrap"):
            ref.qubo_criticality(qubo, n_vars)
        return
    # bits keeps tuples apart from lists and +0.0 (for -0.0 weights) apart from -0.0
    assert bits(core.qubo_criticality(qubo, n_vars)) == bits(expected) == bits(ref.qubo_criticality(qubo, n_vars))


# --- select_patches and PatchAssignment ----------------------------------------------


@pytest.mark.parametrize(
    "ranked, budget, distance, expected",
    [
        (RANKED, 20, 3, [(4, 3, 0, 9), (1, 3, 9, 18)]),
        (RANKED, 27, 3, [(4, 3, 0, 9), (1, 3, 9, 18), (0, 3, 18, 27)]),
        (RANKED, 1000, 3, [(4, 3, 0, 9), (1, 3, 9, 18), (0, 3, 18, 27)]),
        (RANKED, 8, 3, []),
        (RANKED, 100, 0, []),
        ([], 100, 2, []),
        ([(2, 0.0), (2, 0.0)], 10, 2, [(2, 2, 0, 4), (2, 2, 4, 8)]),
        ([(7, math.nan), (3, -1.0)], 2, 1, [(7, 1, 0, 1), (3, 1, 1, 2)]),
        # Near the top of the 64-bit range the walk stops where the next block
        # would pass the budget, instead of wrapping around.
        ([(0, 1.0)] * 5, 2**64 - 1, 2**31, [(0, 2**31, k * 2**62, (k + 1) * 2**62) for k in range(3)]),
        ([(0, 1.0)] * 5, 2**64 - 1, 2**32 - 1, [(0, 2**32 - 1, 0, (2**32 - 1) ** 2)]),
    ],
)
def test_select_patches(ranked, budget, distance, expected):
    assert records(ecc.select_patches(ranked, budget, distance)) == expected == ref.select_patches(ranked, budget, distance)


def test_patch_assignment_repr():
    assert [repr(a) for a in ecc.select_patches(RANKED, 20, 3)] == [
        "PatchAssignment(logical_var=4, distance=3, physical_qubits=0..9)",
        "PatchAssignment(logical_var=1, distance=3, physical_qubits=9..18)",
    ]


# --- remap_circuit -------------------------------------------------------------------


@pytest.mark.parametrize(
    "circuit, ranked, budget, distance, expected",
    [
        # variable 1 -> block 0..9, variable 0 -> block 9..18
        ([("h", [0]), ("cx", [0, 1]), ("x", [2])], [(1, 3.0), (0, 2.0)], 18, 3, [("h", [9]), ("cx", [9, 0]), ("x", [2])]),
        ([("h", [0]), ("", []), ("rz", [5, 5])], [], 0, 2, [("h", [0]), ("", []), ("rz", [5, 5])]),
        ([], [(0, 1.0)], 4, 2, []),
        # The last record for a variable wins.
        ([("x", [3]), ("cz", [4, 3])], [(3, 1.0), (3, 1.0)], 8, 2, [("x", [4]), ("cz", [4, 4])]),
    ],
)
def test_remap_examples(circuit, ranked, budget, distance, expected):
    assert ecc.remap_circuit(circuit, ecc.select_patches(ranked, budget, distance)) == expected  # tuples of str and list


@pytest.mark.parametrize("seed", range(30))
def test_random_pipeline_matches_reference(seed):
    # ranking -> selection -> remapping, each step against the reference
    rng = random.Random(seed)
    n_vars = rng.randint(0, 30)
    weights = [0.0, -0.0, 1.0, -1.0, 0.5, 1e300, -1e300, 3.0, 5e-324, math.inf, -math.inf]
    qubo = [
        ((rng.randrange(n_vars + 3), rng.randrange(n_vars + 3)), rng.choice([rng.uniform(-2, 2), rng.choice(weights)]))
        for _ in range(rng.randint(0, 60))
    ]
    ranking = core.qubo_criticality(qubo, n_vars)
    assert bits(ranking) == bits(ref.qubo_criticality(qubo, n_vars))
    ranked = ranking[: rng.randint(0, 8)] + [(rng.randrange(12), rng.random()) for _ in range(rng.randint(0, 8))]
    distance, budget = rng.randint(0, 6), rng.randint(0, 300)
    assignments = ecc.select_patches(ranked, budget, distance)
    assert records(assignments) == ref.select_patches(ranked, budget, distance)
    circuit = [
        (rng.choice(["h", "cx", "ccx", "", "ünïcode"]), [rng.randrange(40) for _ in range(rng.randint(0, 3))])
        for _ in range(rng.randint(0, 15))
    ]
    assert ecc.remap_circuit(circuit, assignments) == ref.remap_circuit(circuit, assignments)
