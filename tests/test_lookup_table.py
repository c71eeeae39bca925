"""Lookup decoding tables: the distance-3 and distance-5 tables, low-rank
syndromes, and the size limits both lookup functions share."""

import os
import random

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import Z3
from tavik.exceptions import SizeViolation

PATCH_5 = core.ecc.build_surface_code(5)


# The distance-3 patch's table: the flipped qubits of each row's correction, rows in ascending syndrome order
# (syndrome bit i is stabilizer i).
CORRECTIONS_3 = [[], [2], [3], [1], [8], [2, 8], [4], [2, 4], [6], [2, 6], [4, 7], [1, 6], [7], [2, 7], [4, 6], [1, 7]]
DISTANCE_3_TABLE = [([s >> i & 1 for i in range(4)], [int(q in c) for q in range(9)]) for s, c in enumerate(CORRECTIONS_3)]


def test_distance_3_table():
    # == tells tuples from lists: the rows must be tuples of two lists
    assert core.build_ecc_lookup_table(9, Z3) == DISTANCE_3_TABLE == ref.build_ecc_lookup_table(9, Z3)


def test_distance_5_table_decodes_every_syndrome_and_single_flip():
    table = core.build_ecc_lookup_table(25, PATCH_5.z_stabilizers)
    masks = ref.stabilizer_masks(25, PATCH_5.z_stabilizers)
    number = lambda bit_list: sum(b << i for i, b in enumerate(bit_list))  # noqa: E731
    assert [number(syndrome_bits) for syndrome_bits, _ in table] == list(range(2**12))
    assert all(ref.syndrome(number(error_bits), masks) == s for s, (_, error_bits) in enumerate(table))
    # Every single flip is its own correction, or ties with a later qubit.
    for q in range(25):
        correction = table[ref.syndrome(1 << q, masks)][1]
        assert sum(correction) == 1 and correction.index(1) >= q


def test_many_stabilizers_over_few_dimensions_stay_small():
    # 32 stabilizers on qubits 21..25 of 26: their syndromes span 5 dimensions, so 32 rows, the 5-qubit table padded
    # with zeros (no 2^32-entry table).
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


# Both functions and both models; logical_z is out of range in every row: the stabilizer checks come first.
@pytest.mark.parametrize("n_data, stabilizers, logical_z, error, message", [
    (27, [[100]], [99], SizeViolation, N_DATA_LIMIT),
    (4, [[9]] * 33, [99], SizeViolation, COUNT_LIMIT),
    (9, [[1, 2], [0, 9]], [99], ValueError, "stabilizer references data qubit 9 but n_data is 9"),
    (9, [[1, 12, 10], [11]], [99], ValueError, "stabilizer references data qubit 12 but n_data is 9"),
    (9, Z3, [0, 9], ValueError, "logical_z references data qubit 9 but n_data is 9"),  # the probability only
])
def test_failures(n_data, stabilizers, logical_z, error, message):
    for m in (core, ref):
        calls = [lambda: m.logical_failure_probability(n_data, stabilizers, logical_z, 0.1)]
        if not message.startswith("logical_z"):
            calls.append(lambda: m.build_ecc_lookup_table(n_data, stabilizers))
        for call in calls:
            with pytest.raises(error) as info:
                call()
            assert type(info.value) is error and str(info.value) == message
