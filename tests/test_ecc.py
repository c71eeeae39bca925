"""Surface-code patches, lookup decoding and the exact logical failure
probability, against the documented examples and the reference models."""

import inspect
import math
import os
import random
import struct

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import assert_no_leak
from tavik.exceptions import SizeViolation

ecc = core.ecc
FIELDS = ["distance", "data_qubits", "x_stabilizers", "z_stabilizers", "logical_x", "logical_z"]


def bits(x):
    return struct.pack("<d", x)


def fields(patch):
    return {name: getattr(patch, name) for name in FIELDS}


def outcome(fn, *args):
    """A call's result, or its exception's type and message."""
    try:
        return fn(*args)
    except (ValueError, TypeError) as exc:
        return type(exc), str(exc)


# --- surface-code patch -------------------------------------------------------

DISTANCE_3 = {
    "distance": 3,
    "data_qubits": [0, 1, 2, 3, 4, 5, 6, 7, 8],
    "x_stabilizers": [[0, 3], [1, 4, 2, 5], [3, 6, 4, 7], [5, 8]],
    "z_stabilizers": [[1, 2], [0, 3, 1, 4], [4, 7, 5, 8], [6, 7]],
    "logical_x": [0, 1, 2],
    "logical_z": [0, 3, 6],
}


@pytest.mark.parametrize("call", [lambda: ecc.build_surface_code(), lambda: ecc.build_surface_code(distance=3)])
def test_default_patch_is_distance_3(call):
    patch = call()
    assert fields(patch) == DISTANCE_3
    assert repr(patch) == "SurfaceCodePatch(distance=3, data_qubits=9)"


@pytest.mark.parametrize(
    "d, x_stabilizers, z_stabilizers",
    [
        (0, [], []),
        (1, [], []),
        (2, [[0, 2], [1, 3]], [[0, 2, 1, 3]]),
        (
            4,
            [[0, 4], [1, 5, 2, 6], [3, 7], [4, 8, 5, 9], [6, 10, 7, 11], [8, 12], [9, 13, 10, 14], [11, 15]],
            [[1, 2], [0, 4, 1, 5], [2, 6, 3, 7], [5, 9, 6, 10], [8, 12, 9, 13], [10, 14, 11, 15], [13, 14]],
        ),
    ],
)
def test_small_and_even_distances(d, x_stabilizers, z_stabilizers):
    patch = ecc.build_surface_code(d)
    assert (patch.x_stabilizers, patch.z_stabilizers) == (x_stabilizers, z_stabilizers)
    assert patch.data_qubits == list(range(d * d))
    assert (patch.logical_x, patch.logical_z) == (list(range(d)), [k * d for k in range(d)])
    assert repr(patch) == f"SurfaceCodePatch(distance={d}, data_qubits={d * d})"


@pytest.mark.parametrize("d", range(16))
def test_patch_matches_reference(d):
    assert fields(ecc.build_surface_code(d)) == ref.build_surface_code(d)


@pytest.mark.parametrize("d", range(1, 10))
def test_stabilizers_and_logicals_commute(d):
    patch = ecc.build_surface_code(d)
    overlap = lambda a, b: len(set(a) & set(b))  # noqa: E731
    assert all(overlap(x, z) % 2 == 0 for x in patch.x_stabilizers for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_x, z) % 2 == 0 for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_z, x) % 2 == 0 for x in patch.x_stabilizers)
    assert set(patch.logical_x) & set(patch.logical_z) == {0}
    if d % 2:
        assert len(patch.x_stabilizers) == len(patch.z_stabilizers) == (d * d - 1) // 2


def test_patch_is_read_only_and_hands_out_copies():
    patch = ecc.build_surface_code(3)
    for name in FIELDS:
        with pytest.raises(AttributeError):
            setattr(patch, name, getattr(patch, name))
        with pytest.raises(AttributeError):
            delattr(patch, name)
    first, second = patch.x_stabilizers, patch.x_stabilizers
    assert first == second and first is not second and first[0] is not second[0]
    first[0].append(99)
    patch.data_qubits.clear()
    assert fields(patch) == DISTANCE_3
    with pytest.raises(TypeError, match="^No constructor defined for SurfaceCodePatch$"):
        ecc.SurfaceCodePatch()
    with pytest.raises(AttributeError):
        patch.extra = 1


def test_build_surface_code_signature():
    assert ecc.build_surface_code.__text_signature__ == "(distance=3)"
    assert str(inspect.signature(ecc.build_surface_code)) == "(distance=3)"
    assert ecc.build_surface_code.__module__ == "ecc"
    with pytest.raises(TypeError, match=r"^build_surface_code\(\) takes from 0 to 1 positional arguments but 2 were"):
        ecc.build_surface_code(3, 4)


@pytest.mark.parametrize(
    "distance, error, message",
    [
        (-1, OverflowError, None),
        (2**64, OverflowError, None),
        (3.0, TypeError, "^argument 'distance': "),
        ("3", TypeError, "^argument 'distance': "),
        (2**32, MemoryError, None),  # d² overflows 64 bits
        (2**64 - 1, MemoryError, None),
        (10**6, MemoryError, None),  # 10^12 qubits: refused before anything is built
    ],
)
def test_bad_distances(distance, error, message):
    with pytest.raises(error, match=message):
        ecc.build_surface_code(distance)


# --- lookup decoding ----------------------------------------------------------

# (syndrome bits, error bits) of the distance-3 patch's Z stabilizers.
DISTANCE_3_TABLE = [
    ([0, 0, 0, 0], [0, 0, 0, 0, 0, 0, 0, 0, 0]),
    ([1, 0, 0, 0], [0, 0, 1, 0, 0, 0, 0, 0, 0]),
    ([0, 1, 0, 0], [0, 0, 0, 1, 0, 0, 0, 0, 0]),
    ([1, 1, 0, 0], [0, 1, 0, 0, 0, 0, 0, 0, 0]),
    ([0, 0, 1, 0], [0, 0, 0, 0, 0, 0, 0, 0, 1]),
    ([1, 0, 1, 0], [0, 0, 1, 0, 0, 0, 0, 0, 1]),
    ([0, 1, 1, 0], [0, 0, 0, 0, 1, 0, 0, 0, 0]),
    ([1, 1, 1, 0], [0, 0, 1, 0, 1, 0, 0, 0, 0]),
    ([0, 0, 0, 1], [0, 0, 0, 0, 0, 0, 1, 0, 0]),
    ([1, 0, 0, 1], [0, 0, 1, 0, 0, 0, 1, 0, 0]),
    ([0, 1, 0, 1], [0, 0, 0, 0, 1, 0, 0, 1, 0]),
    ([1, 1, 0, 1], [0, 1, 0, 0, 0, 0, 1, 0, 0]),
    ([0, 0, 1, 1], [0, 0, 0, 0, 0, 0, 0, 1, 0]),
    ([1, 0, 1, 1], [0, 0, 1, 0, 0, 0, 0, 1, 0]),
    ([0, 1, 1, 1], [0, 0, 0, 0, 1, 0, 1, 0, 0]),
    ([1, 1, 1, 1], [0, 1, 0, 0, 0, 0, 0, 1, 0]),
]


def test_distance_3_table_row_for_row():
    table = core.build_ecc_lookup_table(9, DISTANCE_3["z_stabilizers"])
    assert table == DISTANCE_3_TABLE
    assert all(type(row) is tuple and type(row[0]) is list for row in table)
    assert ref.build_ecc_lookup_table(9, DISTANCE_3["z_stabilizers"]) == DISTANCE_3_TABLE


@pytest.mark.parametrize(
    "n_data, stabilizers, expected",
    [
        (3, [], [([], [0, 0, 0])]),
        (0, [[], []], [([0, 0], [])]),
        (1, [[0], [0]], [([0, 0], [0]), ([1, 1], [1])]),  # dependent stabilizers: two syndromes only
        (3, [[2, 2]], [([0], [0, 0, 0]), ([1], [0, 0, 1])]),  # a repeated qubit counts once
        (3, [[1], [], [2]], [([0, 0, 0], [0, 0, 0]), ([1, 0, 0], [0, 1, 0]), ([0, 0, 1], [0, 0, 1]),
                             ([1, 0, 1], [0, 1, 1])]),
        (3, [[0, 1, 2]], [([0], [0, 0, 0]), ([1], [0, 0, 1])]),  # single flips tie: the highest qubit wins
    ],
)
def test_lookup_edge_cases(n_data, stabilizers, expected):
    assert core.build_ecc_lookup_table(n_data, stabilizers) == expected
    assert ref.build_ecc_lookup_table(n_data, stabilizers) == expected


def random_supports(rng, n_data, count):
    supports = []
    for _ in range(count):
        size = rng.choice([0, 1, 2, 2, 3, 4, 4, 6])
        supports.append([rng.randrange(n_data) for _ in range(size)] if n_data else [])
    return supports


@pytest.mark.parametrize("seed", range(40))
def test_random_codes_match_reference(seed):
    rng = random.Random(seed)
    n_data = rng.randint(0, 11)
    m = rng.choice([0, 1, 2, 3, 5, 8, 12, 20, 32]) if n_data <= 8 else rng.randint(0, 9)
    stabilizers = random_supports(rng, n_data, m)
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)


# Codes whose corrections are heavy (every qubit its own check, a
# repetition code) or whose syndromes are few next to the patterns: the
# decoder takes different routes through these, all to the same table.
STRUCTURED_CODES = [
    (10, [[q] for q in range(10)], [0, 1]),
    (11, [[q, q + 1] for q in range(10)], [0]),
    (9, [[q] for q in range(9)] + [[0, 8], [3]], [4, 5, 6]),
    (12, [[0, 5, 11], [2, 3]], [0, 11]),
    (12, [], [6]),
    (13, [[1, 2], [2, 3], [1, 3]], [1, 2, 12]),
]


@pytest.mark.parametrize("n_data, stabilizers, logical_z", STRUCTURED_CODES)
def test_structured_codes_match_reference(n_data, stabilizers, logical_z):
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)
    for p in (0.05, 0.3):
        args = (n_data, stabilizers, logical_z, p)
        assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


@pytest.mark.parametrize("d", [2, 4])
def test_patch_tables_match_reference(d):
    patch = ecc.build_surface_code(d)
    expected = ref.build_ecc_lookup_table(d * d, patch.z_stabilizers)
    assert core.build_ecc_lookup_table(d * d, patch.z_stabilizers) == expected


def test_distance_5_table_is_a_minimum_weight_decoder():
    patch = ecc.build_surface_code(5)
    table = core.build_ecc_lookup_table(25, patch.z_stabilizers)
    masks = ref.stabilizer_masks(25, patch.z_stabilizers)
    assert len(table) == 2**12
    values = []
    for syndrome_bits, error_bits in table:
        s = sum(b << i for i, b in enumerate(syndrome_bits))
        e = sum(b << q for q, b in enumerate(error_bits))
        assert ref.syndrome(e, masks) == s
        values.append(s)
    assert values == sorted(values)
    # Every single flip is its own correction, or ties with a later qubit.
    for q in range(25):
        s = ref.syndrome(1 << q, masks)
        correction = table[values.index(s)][1]
        assert sum(correction) == 1 and correction.index(1) >= q


def test_many_stabilizers_over_few_dimensions_stay_small():
    # 32 stabilizers over 26 data qubits whose syndromes span only 5
    # dimensions: 32 rows, not a table of 2^32 entries. The qubits outside
    # every support never appear in a minimum correction, so the table is the
    # 5-qubit table padded with zeros.
    rng = random.Random(7)
    small = [sorted(rng.sample(range(5), rng.randint(1, 3))) for _ in range(32)]
    big = [[q + 21 for q in support] for support in small]
    expected = [(s, [0] * 21 + e) for s, e in ref.build_ecc_lookup_table(5, small)]
    assert core.build_ecc_lookup_table(26, big) == expected


def test_table_too_large_for_memory_raises_memory_error():
    # 26 independent syndrome bits: 2^26 rows of 58 bits, tens of gigabytes as
    # Python objects.
    need = 2**26 * (200 + 8 * 58)
    if need <= os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE") // 2:
        pytest.skip("this machine could hold the table")
    with pytest.raises(MemoryError):
        core.build_ecc_lookup_table(26, [[q] for q in range(26)] + [[0, 1]] * 6)


@pytest.mark.parametrize(
    "n_data, stabilizers, error, message",
    [
        (27, [[0]] * 40, SizeViolation, "SizeViolation: lookup decoding requires n_data <= 26"),
        (27, [[100]], SizeViolation, "SizeViolation: lookup decoding requires n_data <= 26"),
        (4, [[]] * 33, SizeViolation, "SizeViolation: lookup decoding requires at most 32 Z-stabilizers"),
        (4, [[9]] * 33, SizeViolation, "SizeViolation: lookup decoding requires at most 32 Z-stabilizers"),
        (9, [[1, 2], [0, 9]], ValueError, "stabilizer references data qubit 9 but n_data is 9"),
        (9, [[1, 12, 10], [11]], ValueError, "stabilizer references data qubit 12 but n_data is 9"),
        (0, [[0]], ValueError, "stabilizer references data qubit 0 but n_data is 0"),
        (5, "ab", TypeError, "argument 'z_stabilizers': Can't extract `str` to `Vec`"),
        (5, [(0, 1), {1}], TypeError, "argument 'z_stabilizers': 'set' object cannot be converted to 'Sequence'"),
        (5, [[0.0]], TypeError, "argument 'z_stabilizers': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_lookup_failures(n_data, stabilizers, error, message):
    with pytest.raises(error) as info:
        core.build_ecc_lookup_table(n_data, stabilizers)
    assert str(info.value) == message
    if error is not TypeError:
        assert outcome(ref.build_ecc_lookup_table, n_data, stabilizers) == (error, message)


def test_lookup_conversion_failures():
    with pytest.raises(OverflowError):
        core.build_ecc_lookup_table(-1, [])
    with pytest.raises(OverflowError):
        core.build_ecc_lookup_table(3, [[-1]])
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'z_stabilizers'"):
        core.build_ecc_lookup_table(3)


# --- logical failure probability ------------------------------------------------


def test_distance_3_failing_patterns_by_weight():
    failing = ref.failing_patterns(9, DISTANCE_3["z_stabilizers"], DISTANCE_3["logical_z"])
    by_weight = [sum(1 for k in failing if ref.popcount(k) == w) for w in range(10)]
    assert by_weight == [0, 0, 18, 56, 57, 69, 28, 18, 9, 1]


@pytest.mark.parametrize(
    "p, expected",
    [(0.5, 0.5), (0.0, 0.0), (1.0, 1.0), (0.1, 0.11969459200000022), (-0.0, 0.0)],
)
def test_distance_3_probabilities(p, expected):
    value = core.logical_failure_probability(9, DISTANCE_3["z_stabilizers"], DISTANCE_3["logical_z"], p)
    assert bits(value) == bits(expected)


@pytest.mark.parametrize("p", [1e-3, 0.01, 0.1, 0.25, 0.5, 0.9, 1.0, 0.0, -0.5, 1.5, 1e-300, math.inf, math.nan])
def test_distance_3_probability_matches_reference_bit_for_bit(p):
    args = (9, DISTANCE_3["z_stabilizers"], DISTANCE_3["logical_z"], p)
    assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


@pytest.mark.parametrize("seed", range(40))
def test_random_codes_probability_matches_reference(seed):
    rng = random.Random(1000 + seed)
    n_data = rng.randint(0, 11)
    m = rng.randint(0, min(12, 2 * n_data + 1))
    stabilizers = random_supports(rng, n_data, m)
    logical_z = [rng.randrange(n_data) for _ in range(rng.randint(0, 4))] if n_data else []
    p = rng.choice([rng.random(), rng.random() * 1e-3, 0.5, 1.0, 0.0, rng.uniform(-1.0, 2.0)])
    args = (n_data, stabilizers, logical_z, p)
    assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


@pytest.mark.parametrize("d", [1, 2, 3, 4, 5])
def test_half_of_all_patterns_fail_at_one_half(d):
    # The logical X support has an empty syndrome and meets logical Z once, so
    # it pairs every failing pattern with a decoded one; at p = 1/2 every
    # pattern has the same power-of-two probability and the sum is exact.
    patch = ecc.build_surface_code(d)
    assert core.logical_failure_probability(d * d, patch.z_stabilizers, patch.logical_z, 0.5) == 0.5


@pytest.mark.parametrize(
    "n_data, stabilizers, logical_z, p, expected",
    [
        (1, [], [0], 0.3, 0.3),  # no decoding: the single flip always fails
        (1, [], [0], 1e-300, 1e-300),
        (9, DISTANCE_3["z_stabilizers"], [], math.nan, 0.0),  # nothing can fail
        (9, DISTANCE_3["z_stabilizers"], [], 0.25, 0.0),
        (0, [], [], 0.5, 0.0),
        (3, [[0], [1], [2]], [0, 1, 2], 0.2, 0.0),  # every pattern is corrected exactly
        (2, [[0, 1]], [0, 0, 1], 1.0, 0.0),  # all-ones decodes to itself
    ],
)
def test_probability_edge_cases(n_data, stabilizers, logical_z, p, expected):
    assert bits(core.logical_failure_probability(n_data, stabilizers, logical_z, p)) == bits(expected)


def test_nan_rate_gives_nan_when_a_pattern_fails():
    value = core.logical_failure_probability(9, DISTANCE_3["z_stabilizers"], DISTANCE_3["logical_z"], math.nan)
    assert math.isnan(value)


@pytest.mark.parametrize(
    "args, error, message",
    [
        ((9, DISTANCE_3["z_stabilizers"], [0, 9], 0.1), ValueError, "logical_z references data qubit 9 but n_data is 9"),
        ((9, [[9]], [10], 0.1), ValueError, "stabilizer references data qubit 9 but n_data is 9"),
        ((27, [[1]], [100], 0.1), SizeViolation, "SizeViolation: lookup decoding requires n_data <= 26"),
        ((3, [[]] * 33, [7], 0.1), SizeViolation, "SizeViolation: lookup decoding requires at most 32 Z-stabilizers"),
        ((27, [[1]], [0], "x"), TypeError, "argument 'physical_error_rate': must be real number, not str"),
        ((27, [[1]], (1, "a"), 0.1), TypeError, "argument 'logical_z': 'str' object cannot be interpreted as an integer"),
        ((3, [], "0", 0.1), TypeError, "argument 'logical_z': Can't extract `str` to `Vec`"),
    ],
)
def test_probability_failures_in_order(args, error, message):
    with pytest.raises(error) as info:
        core.logical_failure_probability(*args)
    assert str(info.value) == message
    if error is not TypeError:
        assert outcome(ref.logical_failure_probability, *args) == (error, message)


def test_large_code_with_low_rank_syndromes():
    # 26 data qubits, 32 copies of the check {0, 25}: two syndromes, so the
    # table stays tiny while all 2^26 patterns are walked. The odd syndrome is
    # corrected by flipping qubit 25 (the later of the tied single flips), so
    # a pattern fails exactly when it flips qubit 0, whatever it does to qubit 25.
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0], 0.5) == 0.5
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0, 25], 0.5) == 0.0  # always decoded
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0], 0.25) == pytest.approx(0.25, rel=1e-12)


def test_arguments_are_not_modified():
    stabilizers = [[1, 2], [0, 3, 1, 4]]
    logical = [0, 3]
    core.build_ecc_lookup_table(9, stabilizers)
    core.logical_failure_probability(9, stabilizers, logical, 0.1)
    assert stabilizers == [[1, 2], [0, 3, 1, 4]] and logical == [0, 3]


def test_no_leaks():
    z = DISTANCE_3["z_stabilizers"]
    assert_no_leak(
        lambda: ecc.build_surface_code(3),
        lambda: repr(ecc.build_surface_code()),
        lambda: ecc.build_surface_code(3).x_stabilizers,
        lambda: ecc.build_surface_code(-1),
        lambda: ecc.build_surface_code(2**40),
        lambda: core.build_ecc_lookup_table(9, z),
        lambda: core.build_ecc_lookup_table(27, z),
        lambda: core.build_ecc_lookup_table(9, [[1], [9]]),
        lambda: core.build_ecc_lookup_table(9, [[1], "x"]),
        lambda: core.logical_failure_probability(9, z, [0, 3, 6], 0.1),
        lambda: core.logical_failure_probability(9, z, [0, 30], 0.1),
        lambda: core.logical_failure_probability(9, z, [0], None),
        repeat=300,
    )
