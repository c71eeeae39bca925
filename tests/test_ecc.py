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
PATCHES = {d: ecc.build_surface_code(d) for d in (1, 2, 4, 5)}


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
    patch = ecc.build_surface_code() if d == 3 else ecc.build_surface_code(distance=d)  # 3 is the default
    for support in patch.x_stabilizers:
        support.append(99)  # every read builds new lists, the inner ones too
    assert fields(patch) == ref.build_surface_code(d)
    assert repr(patch) == f"SurfaceCodePatch(distance={d}, data_qubits={d * d})"
    assert d not in STABILIZERS or (patch.x_stabilizers, patch.z_stabilizers) == STABILIZERS[d]
    overlap = lambda a, b: len(set(a) & set(b))  # noqa: E731
    assert all(overlap(x, z) % 2 == 0 for x in patch.x_stabilizers for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_x, z) % 2 == 0 for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_z, x) % 2 == 0 for x in patch.x_stabilizers)
    assert set(patch.logical_x) & set(patch.logical_z) == ({0} if d else set())
    assert d % 2 == 0 or len(patch.x_stabilizers) == len(patch.z_stabilizers) == (d * d - 1) // 2


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
    # == tells tuples from lists: the rows must be tuples of two lists
    assert core.build_ecc_lookup_table(n_data, stabilizers) == expected == ref.build_ecc_lookup_table(n_data, stabilizers)


def random_code(seed):
    rng = random.Random(seed)
    n_data = rng.randint(0, 11)
    m = rng.choice([0, 1, 2, 3, 5, 8, 12, 20, 32]) if n_data <= 8 else rng.randint(0, 12)
    sizes = [rng.choice([0, 1, 2, 2, 3, 4, 4, 6]) for _ in range(m)]
    stabilizers = [[rng.randrange(n_data) for _ in range(size)] if n_data else [] for size in sizes]
    logical_z = [rng.randrange(n_data) for _ in range(rng.randint(0, 4))] if n_data else []
    p = rng.choice([rng.random(), rng.random() * 1e-3, 0.5, 1.0, 0.0, rng.uniform(-1.0, 2.0)])
    return n_data, stabilizers, logical_z, p


# Beside the random codes: heavy corrections (every qubit its own check, a repetition
# code), few syndromes next to the patterns, the even-distance patches (the decoder takes
# different routes through these), and the distance-3 patch at rates in and out of [0, 1].
CODES = [random_code(seed) for seed in range(80)] + [
    (10, [[q] for q in range(10)], [0, 1], 0.05),
    (11, [[q, q + 1] for q in range(10)], [0], 0.3),
    (9, [[q] for q in range(9)] + [[0, 8], [3]], [4, 5, 6], 0.05),
    (12, [[0, 5, 11], [2, 3]], [0, 11], 0.3),
    (12, [], [6], 0.05),
    (13, [[1, 2], [2, 3], [1, 3]], [1, 2, 12], 0.3),
    (4, PATCHES[2].z_stabilizers, PATCHES[2].logical_z, 0.05),
    (16, PATCHES[4].z_stabilizers, PATCHES[4].logical_z, 0.3),
] + [(9, Z3, LZ3, p) for p in (1e-3, 0.01, 0.25, 0.9, -0.5, 1.5, 1e-300, math.inf)]


@pytest.mark.parametrize("n_data, stabilizers, logical_z, p", CODES)
def test_codes_match_reference(n_data, stabilizers, logical_z, p):
    assert core.build_ecc_lookup_table(n_data, stabilizers) == ref.build_ecc_lookup_table(n_data, stabilizers)
    args = (n_data, stabilizers, logical_z, p)
    assert bits(core.logical_failure_probability(*args)) == bits(ref.logical_failure_probability(*args))


def test_distance_5_table_decodes_every_syndrome_and_single_flip():
    table = core.build_ecc_lookup_table(25, PATCHES[5].z_stabilizers)
    masks = ref.stabilizer_masks(25, PATCHES[5].z_stabilizers)
    number = lambda bit_list: sum(b << i for i, b in enumerate(bit_list))  # noqa: E731
    assert [number(syndrome_bits) for syndrome_bits, _ in table] == list(range(2**12))
    assert all(ref.syndrome(number(error_bits), masks) == s for s, (_, error_bits) in enumerate(table))
    # Every single flip is its own correction, or ties with a later qubit.
    for q in range(25):
        correction = table[ref.syndrome(1 << q, masks)][1]
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


N_DATA_LIMIT = "SizeViolation: lookup decoding requires n_data <= 26"
COUNT_LIMIT = "SizeViolation: lookup decoding requires at most 32 Z-stabilizers"


# Both functions and both models; logical_z is out of range in every row: the
# stabilizer checks come first.
@pytest.mark.parametrize(
    "n_data, stabilizers, logical_z, error, message",
    [
        (27, [[0]] * 40, [99], SizeViolation, N_DATA_LIMIT),
        (27, [[100]], [99], SizeViolation, N_DATA_LIMIT),
        (4, [[]] * 33, [99], SizeViolation, COUNT_LIMIT),
        (4, [[9]] * 33, [99], SizeViolation, COUNT_LIMIT),
        (9, [[1, 2], [0, 9]], [99], ValueError, "stabilizer references data qubit 9 but n_data is 9"),
        (9, [[1, 12, 10], [11]], [99], ValueError, "stabilizer references data qubit 12 but n_data is 9"),
        (9, Z3, [0, 9], ValueError, "logical_z references data qubit 9 but n_data is 9"),  # the probability only
    ],
)
def test_failures(n_data, stabilizers, logical_z, error, message):
    for m in (core, ref):
        calls = [lambda: m.logical_failure_probability(n_data, stabilizers, logical_z, 0.1)]
        if not message.startswith("logical_z"):
            calls.append(lambda: m.build_ecc_lookup_table(n_data, stabilizers))
        for call in calls:
            with pytest.raises(error) as info:
                call()
            assert type(info.value) is error and str(info.value) == message


# --- logical failure probability ------------------------------------------------


def test_distance_3_failing_patterns_by_weight():
    failing = ref.failing_patterns(9, Z3, LZ3)
    assert [sum(1 for k in failing if ref.popcount(k) == w) for w in range(10)] == [0, 0, 18, 56, 57, 69, 28, 18, 9, 1]


@pytest.mark.parametrize(
    "n_data, stabilizers, logical_z, p, expected",
    [(9, Z3, LZ3, p, e) for p, e in [(0.5, 0.5), (0.0, 0.0), (-0.0, 0.0), (1.0, 1.0), (0.1, 0.11969459200000022),
                                     (math.nan, math.nan)]]
    # Adding logical X (empty syndrome, meets logical Z once) pairs each failing pattern with a decoded
    # one; at p = 1/2 every pattern has the same power-of-two probability: the sum is exact.
    + [(d * d, PATCHES[d].z_stabilizers, PATCHES[d].logical_z, 0.5, 0.5) for d in (1, 2, 4, 5)]
    + [
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
)  # fmt: skip
def test_probability_examples(n_data, stabilizers, logical_z, p, expected):
    assert bits(core.logical_failure_probability(n_data, stabilizers, logical_z, p)) == bits(expected)


def test_probability_of_a_large_code_with_low_rank_syndromes():
    assert core.logical_failure_probability(26, [[0, 25]] * 32, [0], 0.25) == pytest.approx(0.25, rel=1e-12)


# --- the whole area, test_ecc_patches.py's functions included --------------------


def overflow(distance):
    return f"distance {distance} is too large: its patch needs more than 2^64 - 1 physical qubits"


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: ecc.build_surface_code(3, 4), TypeError,
         "build_surface_code() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: ecc.build_surface_code(3.0), TypeError, "argument 'distance': 'float' object cannot be interpreted as an integer"),
        (lambda: ecc.build_surface_code(-1), OverflowError, None),
        (lambda: ecc.build_surface_code(2**32), MemoryError, None),  # d² overflows 64 bits
        (lambda: ecc.build_surface_code(10**6), MemoryError, None),  # 10^12 qubits: refused before building
        # every argument is converted before the size limits are checked
        (lambda: core.logical_failure_probability(27, [[1]], [0], "x"), TypeError,
         "argument 'physical_error_rate': must be real number, not str"),
        (lambda: core.qubo_criticality([((0, 1), 1.0)], 2**40), MemoryError, None),
        (lambda: core.qubo_criticality([((0, 1), 1.0)], 2**64 - 1), MemoryError, None),  # the byte count overflows
        (lambda: ecc.select_patches([(0, 1.0)], 2**64 - 1, 2**32), ValueError, overflow(2**32)),
        (lambda: ecc.select_patches([(0, 1.0)], 2**64 - 1, 2**64 - 1), ValueError, overflow(2**64 - 1)),
    ],
)  # fmt: skip
def test_refused_arguments(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert message is None or str(info.value) == message


def test_no_leaks():
    assignments = ecc.select_patches([(4, 2.0), (1, 1.5)], 27, 3)
    assert_no_leak(
        lambda: repr(ecc.build_surface_code()),
        lambda: fields(ecc.build_surface_code(3)),
        lambda: ecc.build_surface_code(2**40),
        lambda: core.build_ecc_lookup_table(9, Z3),
        lambda: core.build_ecc_lookup_table(27, Z3),
        lambda: core.build_ecc_lookup_table(9, [[1], [9]]),
        lambda: core.logical_failure_probability(9, Z3, LZ3, 0.1),
        lambda: core.logical_failure_probability(9, Z3, [0, 30], 0.1),
        lambda: core.qubo_criticality([((0, 1), -2.0), ((1, 1), 1.0)], 3),
        lambda: core.qubo_criticality([((0, 0), math.nan)], 2),
        lambda: [repr(a) for a in ecc.select_patches([(4, 2.0), (1, 1.5)], 27, 3)],
        lambda: ecc.select_patches([(4, 2.0)], 27, 2**40),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], assignments),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], [assignments[0], 5]),
        repeat=300,
    )
