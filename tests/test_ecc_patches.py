"""Criticality ranking, patch selection and circuit remapping."""

import math
import random
import struct

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import assert_no_leak, raises_panic

ecc = core.ecc
NONE_UNWRAP = "called `Option::unwrap()` on a `None` value"


def bits(x):
    return struct.pack("<d", x)


def as_bits(ranking):
    return [(k, bits(c)) for k, c in ranking]


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
        ([((0, 0), math.nan)], 1, [(0, math.nan)]),
    ],
)
def test_criticality_examples(qubo, n_vars, expected):
    result = core.qubo_criticality(qubo, n_vars)
    assert as_bits(result) == as_bits(expected)  # +0.0 for -0.0 weights, NaN in place
    assert all(type(item) is tuple for item in result)


@pytest.mark.parametrize(
    "qubo, n_vars",
    [([((0, 0), math.nan)], 2), ([((3, 3), 1.0), ((1, 2), -math.nan)], 4), ([((0, 1), math.inf), ((1, 0), math.nan)], 2)],
)
def test_nan_criticality_panics(qubo, n_vars):
    with raises_panic(NONE_UNWRAP):
        core.qubo_criticality(qubo, n_vars)
    with pytest.raises(ref.Panic, match="Option::unwrap"):
        ref.qubo_criticality(qubo, n_vars)


def test_nan_beyond_n_vars_is_ignored():
    assert core.qubo_criticality([((0, 5), math.nan), ((1, 1), 2.0)], 2) == [(1, 2.0), (0, 0.0)]


@pytest.mark.parametrize("seed", range(30))
def test_random_criticality_matches_reference(seed):
    rng = random.Random(seed)
    n_vars = rng.randint(0, 30)
    span = n_vars + 3
    weights = [0.0, -0.0, 1.0, -1.0, 0.5, 1e300, -1e300, 3.0]
    qubo = [
        ((rng.randrange(span), rng.randrange(span)), rng.choice([rng.uniform(-2, 2), rng.choice(weights)]))
        for _ in range(rng.randint(0, 60))
    ]
    assert as_bits(core.qubo_criticality(qubo, n_vars)) == as_bits(ref.qubo_criticality(qubo, n_vars))


@pytest.mark.parametrize(
    "args, error, message",
    [
        (("ab", 2), TypeError, "argument 'qubo': Can't extract `str` to `Vec`"),
        (([((0, 1, 2), 1.0)], 2), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (([[(0, 1), 1.0]], 2), TypeError, "argument 'qubo': 'list' object cannot be converted to 'PyTuple'"),
        (([], 2.0), TypeError, "argument 'n_vars': 'float' object cannot be interpreted as an integer"),
        (([], -1), OverflowError, None),
        (([], 2**64), OverflowError, None),
    ],
)
def test_criticality_bad_input(args, error, message):
    with pytest.raises(error) as info:
        core.qubo_criticality(*args)
    assert message is None or str(info.value) == message


@pytest.mark.parametrize("n_vars", [2**40, 2**63, 2**64 - 1])
def test_criticality_too_many_variables_is_memory_error(n_vars):
    with pytest.raises(MemoryError):
        core.qubo_criticality([((0, 1), 1.0)], n_vars)


# --- select_patches and PatchAssignment ----------------------------------------------

RANKED = [(4, 2.0), (1, 1.5), (0, 0.0)]


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
        ([(0, 1.0)] * 5, 2**64 - 2, 2**32 - 1, [(0, 2**32 - 1, 0, (2**32 - 1) ** 2)]),
    ],
)
def test_select_patches(ranked, budget, distance, expected):
    assert records(ecc.select_patches(ranked, budget, distance)) == expected
    assert ref.select_patches(ranked, budget, distance) == expected


@pytest.mark.parametrize("seed", range(30))
def test_random_selection_matches_reference(seed):
    rng = random.Random(seed)
    ranked = [(rng.randrange(10), rng.random()) for _ in range(rng.randint(0, 12))]
    distance = rng.randint(0, 6)
    budget = rng.randint(0, 300)
    assert records(ecc.select_patches(ranked, budget, distance)) == ref.select_patches(ranked, budget, distance)


@pytest.mark.parametrize("distance", [2**32, 2**33 + 7, 2**64 - 1])
def test_distance_whose_square_overflows_is_refused(distance):
    message = f"distance {distance} is too large: its patch needs more than 2^64 - 1 physical qubits"
    with pytest.raises(ValueError) as info:
        ecc.select_patches([(0, 1.0)], 2**64 - 1, distance)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "args, error, message",
    [
        (([[4, 2.0]], 20, 3), TypeError, "argument 'ranked': 'list' object cannot be converted to 'PyTuple'"),
        (([(4, 2.0, 1)], 20, 3), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (([(4, "x")], 20, 3), TypeError, "argument 'ranked': must be real number, not str"),
        (([(4, 2.0)], 20), TypeError, "select_patches() missing 1 required positional argument: 'distance'"),
        ((RANKED, -1, 3), OverflowError, None),
    ],
)
def test_select_patches_bad_input(args, error, message):
    with pytest.raises(error) as info:
        ecc.select_patches(*args)
    assert message is None or str(info.value) == message


def test_patch_assignment_record():
    first = ecc.select_patches(RANKED, 20, 3)[0]
    assert repr(first) == "PatchAssignment(logical_var=4, distance=3, physical_qubits=0..9)"
    for name in ("logical_var", "distance", "physical_start", "physical_end"):
        with pytest.raises(AttributeError):
            setattr(first, name, 1)
        with pytest.raises(AttributeError):
            delattr(first, name)
    with pytest.raises(TypeError, match="^No constructor defined for PatchAssignment$"):
        ecc.PatchAssignment()
    with pytest.raises(TypeError):

        class Sub(ecc.PatchAssignment):  # noqa: F841
            pass


# --- remap_circuit -------------------------------------------------------------------


def test_remap_example():
    assignments = ecc.select_patches([(1, 3.0), (0, 2.0)], 18, 3)
    circuit = [("h", [0]), ("cx", [0, 1]), ("x", [2])]
    assert ecc.remap_circuit(circuit, assignments) == [("h", [9]), ("cx", [9, 0]), ("x", [2])]
    assert circuit == [("h", [0]), ("cx", [0, 1]), ("x", [2])]


@pytest.mark.parametrize(
    "circuit, ranked, budget, expected",
    [
        ([("h", [0]), ("", []), ("rz", [5, 5])], [], 0, [("h", [0]), ("", []), ("rz", [5, 5])]),
        ([], [(0, 1.0)], 4, []),
        # The last record for a variable wins.
        ([("x", [3]), ("cz", [4, 3])], [(3, 1.0), (3, 1.0)], 8, [("x", [4]), ("cz", [4, 4])]),
    ],
)
def test_remap_cases(circuit, ranked, budget, expected):
    result = ecc.remap_circuit(circuit, ecc.select_patches(ranked, budget, 2))
    assert result == expected
    assert all(type(gate) is tuple and type(gate[1]) is list for gate in result)


@pytest.mark.parametrize("seed", range(20))
def test_random_remap_matches_reference(seed):
    rng = random.Random(seed)
    ranked = [(rng.randrange(12), 0.0) for _ in range(rng.randint(0, 8))]
    assignments = ecc.select_patches(ranked, rng.randint(0, 60), rng.randint(1, 3))
    circuit = [
        (rng.choice(["h", "cx", "ccx", "", "ünïcode"]), [rng.randrange(40) for _ in range(rng.randint(0, 3))])
        for _ in range(rng.randint(0, 15))
    ]
    assert ecc.remap_circuit(circuit, assignments) == ref.remap_circuit(circuit, assignments)


@pytest.mark.parametrize(
    "args, error, message",
    [
        (([["h", [0]]], []), TypeError, "argument 'circuit': 'list' object cannot be converted to 'PyTuple'"),
        (([(1, [0])], []), TypeError, "argument 'circuit': 'int' object cannot be converted to 'PyString'"),
        (([("h", [0])], [(0, 0, 0, 9)]), TypeError,
         "argument 'assignments': 'tuple' object cannot be converted to 'PatchAssignment'"),
        (([("h", [-1])], []), OverflowError, None),
    ],
)
def test_remap_bad_input(args, error, message):
    with pytest.raises(error) as info:
        ecc.remap_circuit(*args)
    if message is not None:
        assert str(info.value) == message


# --- registration and leaks ---------------------------------------------------------------


def test_registration_order():
    assert ecc.__all__ == ["SurfaceCodePatch", "build_surface_code", "PatchAssignment", "select_patches", "remap_circuit"]
    names = core.__all__
    assert names.index("qubo_criticality") < names.index("exact_ising_norm")
    assert names.index("qubo_energy_spectrum") < names.index("build_ecc_lookup_table")
    assert names.index("build_ecc_lookup_table") + 1 == names.index("logical_failure_probability")
    assert names.index("sim") < names.index("ecc")
    assert ecc.__name__ == "ecc" and ecc.select_patches.__module__ == "ecc"
    assert core.qubo_criticality.__text_signature__ == "(qubo, n_vars)"
    assert ecc.select_patches.__text_signature__ == "(ranked, physical_qubit_budget, distance)"


def test_no_leaks():
    assignments = ecc.select_patches(RANKED, 27, 3)
    assert_no_leak(
        lambda: core.qubo_criticality([((0, 1), -2.0), ((1, 1), 1.0)], 3),
        lambda: core.qubo_criticality([((0, 0), math.nan)], 2),
        lambda: core.qubo_criticality([((0, 1), "x")], 2),
        lambda: ecc.select_patches(RANKED, 27, 3),
        lambda: repr(ecc.select_patches(RANKED, 27, 3)[0]),
        lambda: ecc.select_patches(RANKED, 27, 2**40),
        lambda: ecc.select_patches([[1, 2.0]], 27, 3),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], assignments),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], [assignments[0], 5]),
    )
