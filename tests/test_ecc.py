"""Surface-code patches, lookup decoding and the exact logical failure
probability, against the documented examples and the reference models."""

import math
import os
import random

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import assert_no_leak, bits
from tavik.exceptions import SizeViolation

ecc = core.ecc
FIELDS = ["distance", "data_qubits", "x_stabilizers", "z_stabilizers", "logical_x", "logical_z"]
X3 = [[0, 3], [1, 4, 2, 5], [3, 6, 4, 7], [5, 8]]
Z3 = [[1, 2], [0, 3, 1, 4], [4, 7, 5, 8], [6, 7]]
LZ3 = [0, 3, 6]


def fields(patch):
    return {name: getattr(patch, name) for name in FIELDS}


def test_signatures():
    functions = [ecc.build_surface_code, core.build_ecc_lookup_table, core.logical_failure_probability,
                 core.qubo_criticality, ecc.select_patches, ecc.remap_circuit]  # fmt: skip
    assert [(f.__text_signature__, f.__module__) for f in functions] == [
        ("(distance=3)", "ecc"),
        ("(n_data, z_stabilizers)", "tavik.tavik_core"),
        ("(n_data, z_stabilizers, logical_z, physical_error_rate)", "tavik.tavik_core"),
        ("(qubo, n_vars)", "tavik.tavik_core"),
        ("(ranked, physical_qubit_budget, distance)", "ecc"),
        ("(circuit, assignments)", "ecc"),
    ]


# --- surface-code patch -------------------------------------------------------


# The documented stabilizers; the reference follows the construction rule.
STABILIZERS = {
    0: ([], []), 1: ([], []),
    2: ([[0, 2], [1, 3]], [[0, 2, 1, 3]]),
    3: (X3, Z3),
    4: (
        [[0, 4], [1, 5, 2, 6], [3, 7], [4, 8, 5, 9], [6, 10, 7, 11], [8, 12], [9, 13, 10, 14], [11, 15]],
        [[1, 2], [0, 4, 1, 5], [2, 6, 3, 7], [5, 9, 6, 10], [8, 12, 9, 13], [10, 14, 11, 15], [13, 14]],
    ),
}


@pytest.mark.parametrize("d", range(16))
def test_patches(d):
    patch = ecc.build_surface_code(d)
    assert fields(patch) == ref.build_surface_code(d)
    assert repr(patch) == f"SurfaceCodePatch(distance={d}, data_qubits={d * d})"
    assert d not in STABILIZERS or (patch.x_stabilizers, patch.z_stabilizers) == STABILIZERS[d]
    overlap = lambda a, b: len(set(a) & set(b))  # noqa: E731
    assert all(overlap(x, z) % 2 == 0 for x in patch.x_stabilizers for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_x, z) % 2 == 0 for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_z, x) % 2 == 0 for x in patch.x_stabilizers)
    assert set(patch.logical_x) & set(patch.logical_z) == ({0} if d else set())
    if d % 2:
        assert len(patch.x_stabilizers) == len(patch.z_stabilizers) == (d * d - 1) // 2


def test_default_patch_is_read_only_and_hands_out_copies():
    patch = ecc.build_surface_code()
    for name in FIELDS:
        with pytest.raises(AttributeError):
            setattr(patch, name, getattr(patch, name))
    first, second = patch.x_stabilizers, patch.x_stabilizers
    assert first == second and first is not second and first[0] is not second[0]
    first[0].append(99)
    patch.data_qubits.clear()
    assert fields(patch) == fields(ecc.build_surface_code(distance=3)) == fields(ecc.build_surface_code(3))
    with pytest.raises(TypeError, match="^No constructor defined for SurfaceCodePatch$"):
        ecc.SurfaceCodePatch()


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: ecc.build_surface_code(3, 4), TypeError,
         "build_surface_code() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: ecc.build_surface_code(3.0), TypeError, "argument 'distance': 'float' object cannot be interpreted as an integer"),
        (lambda: ecc.build_surface_code(-1), OverflowError, None),
        (lambda: ecc.build_surface_code(2**32), MemoryError, None),  # d² overflows 64 bits
        (lambda: ecc.build_surface_code(2**64 - 1), MemoryError, None),
        (lambda: ecc.build_surface_code(10**6), MemoryError, None),  # 10^12 qubits: refused before building
        (lambda: core.build_ecc_lookup_table(5, "ab"), TypeError, "argument 'z_stabilizers': Can't extract `str` to `Vec`"),
        # every argument is converted before the size limits are checked
        (lambda: core.logical_failure_probability(27, [[1]], [0], "x"), TypeError,
         "argument 'physical_error_rate': must be real number, not str"),
        (lambda: core.logical_failure_probability(27, [[1]], (1, "a"), 0.1), TypeError,
         "argument 'logical_z': 'str' object cannot be interpreted as an integer"),
    ],
)  # fmt: skip
def test_refused_arguments(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert message is None or str(info.value) == message


# --- lookup decoding ----------------------------------------------------------

# The distance-3 patch's table: the flipped qubits of each row's correction,
# rows in ascending syndrome order (syndrome bit i is stabilizer i).
CORRECTIONS_3 = [[], [2], [3], [1], [8], [2, 8], [4], [2, 4], [6], [2, 6], [4, 7], [1, 6], [7], [2, 7], [4, 6], [1, 7]]
DISTANCE_3_TABLE = [([s >> i & 1 for i in range(4)], [int(q in c) for q in range(9)]) for s, c in enumerate(CORRECTIONS_3)]


@pytest.mark.parametrize(
    "n_data, stabilizers, expected",
    [
        (9, Z3, DISTANCE_3_TABLE),
        (3, [], [([], [0, 0, 0])]),
        (0, [[], []], [([0, 0], [])]),
        (1, [[0], [0]], [([0, 0], [0]), ([1, 1], [1])]),  # dependent stabilizers: two syndromes only
        (3, [[2, 2]], [([0], [0, 0, 0]), ([1], [0, 0, 1])]),  # a repeated qubit counts once
        (3, [[1], [], [2]], [([0, 0, 0], [0, 0, 0]), ([1, 0, 0], [0, 1, 0]), ([0, 0, 1], [0, 0, 1]),
                             ([1, 0, 1], [0, 1, 1])]),
        (3, [[0, 1, 2]], [([0], [0, 0, 0]), ([1], [0, 0, 1])]),  # single flips tie: the highest qubit wins
    ],
)  # fmt: skip
def test_lookup_examples(n_data, stabilizers, expected):
    table = core.build_ecc_lookup_table(n_data, stabilizers)
    assert table == expected == ref.build_ecc_lookup_table(n_data, stabilizers)
    assert all(type(row) is tuple and type(row[0]) is list for row in table)


def random_supports(rng, n_data, count):
    sizes = [rng.choice([0, 1, 2, 2, 3, 4, 4, 6]) for _ in range(count)]
    return [[rng.randrange(n_data) for _ in range(size)] if n_data else [] for size in sizes]


@pytest.mark.parametrize("seed", range(80))
def test_random_codes_match_reference(seed):
    rng = random.Random(seed)
    n_data = rng.randint(0, 11)
    m = rng.choice([0, 1, 2, 3, 5, 8, 12, 20, 32]) if n_data <= 8 else rng.randint(0, 12)
    stabilizers = random_supports(rng, n_data, m)
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)
    logical_z = [rng.randrange(n_data) for _ in range(rng.randint(0, 4))] if n_data else []
    p = rng.choice([rng.random(), rng.random() * 1e-3, 0.5, 1.0, 0.0, rng.uniform(-1.0, 2.0)])
    args = (n_data, stabilizers, logical_z, p)
    assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


# Heavy corrections (every qubit its own check, a repetition code), few syndromes next to
# the patterns, the even-distance patches: the decoder takes different routes through these.
STRUCTURED_CODES = [
    (10, [[q] for q in range(10)], [0, 1]),
    (11, [[q, q + 1] for q in range(10)], [0]),
    (9, [[q] for q in range(9)] + [[0, 8], [3]], [4, 5, 6]),
    (12, [[0, 5, 11], [2, 3]], [0, 11]),
    (12, [], [6]),
    (13, [[1, 2], [2, 3], [1, 3]], [1, 2, 12]),
    (4, ecc.build_surface_code(2).z_stabilizers, [0, 2]),
    (16, ecc.build_surface_code(4).z_stabilizers, [0, 4, 8, 12]),
]


@pytest.mark.parametrize("n_data, stabilizers, logical_z", STRUCTURED_CODES)
def test_structured_codes_match_reference(n_data, stabilizers, logical_z):
    snapshot = repr((stabilizers, logical_z))
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)
    for p in (0.05, 0.3):
        args = (n_data, stabilizers, logical_z, p)
        assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))
    assert repr((stabilizers, logical_z)) == snapshot  # the arguments are left as they were


def test_distance_5_table_is_a_minimum_weight_decoder():
    patch = ecc.build_surface_code(5)
    table = core.build_ecc_lookup_table(25, patch.z_stabilizers)
    masks = ref.stabilizer_masks(25, patch.z_stabilizers)
    number = lambda bit_list: sum(b << i for i, b in enumerate(bit_list))  # noqa: E731
    values = [number(syndrome_bits) for syndrome_bits, _ in table]
    assert len(table) == 2**12 and values == sorted(values)
    assert all(ref.syndrome(number(error_bits), masks) == s for s, (_, error_bits) in zip(values, table))
    # Every single flip is its own correction, or ties with a later qubit.
    for q in range(25):
        correction = table[values.index(ref.syndrome(1 << q, masks))][1]
        assert sum(correction) == 1 and correction.index(1) >= q


def test_many_stabilizers_over_few_dimensions_stay_small():
    # 32 stabilizers on qubits 21..25 of 26: their syndromes span 5 dimensions, so
    # 32 rows, the 5-qubit table padded with zeros (no 2^32-entry table).
    rng = random.Random(7)
    small = [sorted(rng.sample(range(5), rng.randint(1, 3))) for _ in range(32)]
    big = [[q + 21 for q in support] for support in small]
    expected = [(s, [0] * 21 + e) for s, e in ref.build_ecc_lookup_table(5, small)]
    assert core.build_ecc_lookup_table(26, big) == expected


def test_table_too_large_for_memory_raises_memory_error():
    # 26 independent syndrome bits: 2^26 rows of 58 bits, tens of gigabytes as objects
    need = 2**26 * (200 + 8 * 58)
    if need <= os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE") // 2:
        pytest.skip("this machine could hold the table")
    with pytest.raises(MemoryError):
        core.build_ecc_lookup_table(26, [[q] for q in range(26)] + [[0, 1]] * 6)


# Both functions and both models, the probability with a logical_z that is
# also out of range: the stabilizer checks come first.
STABILIZER_CHECKS = [(m.build_ecc_lookup_table, ()) for m in (core, ref)] + [
    (m.logical_failure_probability, ([99], 0.1)) for m in (core, ref)
]


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
    ],
)
def test_stabilizer_failures(n_data, stabilizers, error, message):
    for fn, rest in STABILIZER_CHECKS:
        with pytest.raises(error) as info:
            fn(n_data, stabilizers, *rest)
        assert type(info.value) is error and str(info.value) == message


# --- logical failure probability ------------------------------------------------


@pytest.mark.parametrize(
    "p, expected",
    [(0.5, 0.5), (0.0, 0.0), (-0.0, 0.0), (1.0, 1.0), (0.1, 0.11969459200000022), (math.nan, math.nan)]
    + [(p, None) for p in (1e-3, 0.01, 0.25, 0.9, -0.5, 1.5, 1e-300, math.inf)],
)
def test_distance_3_probability(p, expected):
    value = core.logical_failure_probability(9, Z3, LZ3, p)
    assert bits(value) == bits(ref.logical_failure_probability(9, Z3, LZ3, p))
    assert expected is None or bits(value) == bits(expected)


def test_distance_3_failing_patterns_by_weight():
    failing = ref.failing_patterns(9, Z3, LZ3)
    assert [sum(1 for k in failing if ref.popcount(k) == w) for w in range(10)] == [0, 0, 18, 56, 57, 69, 28, 18, 9, 1]


@pytest.mark.parametrize("d", [1, 2, 3, 4, 5])
def test_half_of_all_patterns_fail_at_one_half(d):
    # Adding logical X (empty syndrome, meets logical Z once) pairs each failing pattern with a
    # decoded one; at p = 1/2 every pattern has the same power-of-two probability: the sum is exact.
    patch = ecc.build_surface_code(d)
    assert core.logical_failure_probability(d * d, patch.z_stabilizers, patch.logical_z, 0.5) == 0.5


@pytest.mark.parametrize(
    "n_data, stabilizers, logical_z, p, expected",
    [
        (1, [], [0], 0.3, 0.3),  # no decoding: the single flip always fails
        (9, Z3, [], math.nan, 0.0),  # nothing can fail
        (0, [], [], 0.5, 0.0),
        (3, [[0], [1], [2]], [0, 1, 2], 0.2, 0.0),  # every pattern is corrected exactly
        (2, [[0, 1]], [0, 0, 1], 1.0, 0.0),  # all-ones decodes to itself
        # 32 copies of the check {0, 25}: the odd syndrome is corrected on qubit 25
        # (the later of the tied flips), so a pattern fails when it flips qubit 0.
        (26, [[0, 25]] * 32, [0], 0.5, 0.5),
        (26, [[0, 25]] * 32, [0, 25], 0.5, 0.0),  # always decoded
    ],
)
def test_probability_edge_cases(n_data, stabilizers, logical_z, p, expected):
    assert bits(core.logical_failure_probability(n_data, stabilizers, logical_z, p)) == bits(expected)


def test_probability_of_a_large_code_with_low_rank_syndromes():
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0], 0.25) == pytest.approx(0.25, rel=1e-12)


def test_logical_z_out_of_range():
    for fn in (core.logical_failure_probability, ref.logical_failure_probability):
        with pytest.raises(ValueError, match="^logical_z references data qubit 9 but n_data is 9$"):
            fn(9, Z3, [0, 9], 0.1)


def test_no_leaks():  # the whole area, test_ecc_patches.py's functions included
    assignments = ecc.select_patches([(4, 2.0), (1, 1.5)], 27, 3)
    assert_no_leak(
        lambda: repr(ecc.build_surface_code()),
        lambda: ecc.build_surface_code(3).x_stabilizers,
        lambda: ecc.build_surface_code(2**40),
        lambda: core.build_ecc_lookup_table(9, Z3),
        lambda: core.build_ecc_lookup_table(27, Z3),
        lambda: core.build_ecc_lookup_table(9, [[1], [9]]),
        lambda: core.logical_failure_probability(9, Z3, LZ3, 0.1),
        lambda: core.logical_failure_probability(9, Z3, [0, 30], 0.1),
        lambda: core.qubo_criticality([((0, 1), -2.0), ((1, 1), 1.0)], 3),
        lambda: core.qubo_criticality([((0, 0), math.nan)], 2),
        lambda: repr(ecc.select_patches([(4, 2.0), (1, 1.5)], 27, 3)[0]),
        lambda: ecc.select_patches([(4, 2.0)], 27, 2**40),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], assignments),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], [assignments[0], 5]),
        repeat=300,
    )
