"""Error correction: tavik_core against the pure-Python reference and NumPy
implementations of the same walks and summation orders (results checked
identical). Run: python benchmarks/bench_ecc.py"""

import os
import random
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))

import tavik.arrays as ta  # noqa: E402
import tavik.tavik_core as core  # noqa: E402
from common import best_time, fmt_time, print_table  # noqa: E402
from reference import ecc as ref  # noqa: E402

CHUNK = 1 << 20


def masks_of(n_data, supports):
    return [sum(1 << q for q in set(s)) for s in supports]


def np_syndromes(patterns, masks):
    s = np.zeros(len(patterns), dtype=np.int64)
    for j, mask in enumerate(masks):
        s |= (np.bitwise_count(patterns & np.int64(mask)) & 1).astype(np.int64) << j
    return s


def np_reverse(k, n):
    e = np.zeros_like(k)
    for q in range(n):
        e |= ((k >> (n - 1 - q)) & 1) << q
    return e


def np_best_keys(n_data, masks):
    """The bit-reversed walk: per syndrome the smallest (weight, counter) key,
    which is the first pattern of least weight met in counter order."""
    empty = np.iinfo(np.int64).max
    best = np.full(1 << len(masks), empty, dtype=np.int64)
    for start in range(0, 1 << n_data, CHUNK):
        k = np.arange(start, min(start + CHUNK, 1 << n_data), dtype=np.int64)
        e = np_reverse(k, n_data)
        key = (np.bitwise_count(e).astype(np.int64) << n_data) | k
        np.minimum.at(best, np_syndromes(e, masks), key)
    return best, empty


def np_lookup_table(n_data, supports):
    masks = masks_of(n_data, supports)
    best, empty = np_best_keys(n_data, masks)
    syndromes = np.flatnonzero(best != empty)
    corrections = np_reverse(best[syndromes] & ((1 << n_data) - 1), n_data)
    m = len(masks)
    syndrome_bits = ((syndromes[:, None] >> np.arange(m)) & 1).tolist()
    error_bits = ((corrections[:, None] >> np.arange(n_data)) & 1).tolist()
    return list(zip(syndrome_bits, error_bits))


def np_failure_probability(n_data, supports, logical_z, p):
    masks = masks_of(n_data, supports)
    best, empty = np_best_keys(n_data, masks)
    table = np.where(best == empty, 0, np_reverse(best & ((1 << n_data) - 1), n_data))
    logical = np.int64(sum(1 << q for q in set(logical_z)))
    weights = np.array([ref.powi(p, w) * ref.powi(1.0 - p, n_data - w) for w in range(n_data + 1)])
    acc = np.zeros(1)
    for start in range(0, 1 << n_data, CHUNK):
        k = np.arange(start, min(start + CHUNK, 1 << n_data), dtype=np.int64)
        residual = k ^ table[np_syndromes(k, masks)]
        fails = (np.bitwise_count(residual & logical) & 1).astype(bool)
        # One running sum in pattern order: a sequential accumulate seeded
        # with the sum so far.
        acc = np.add.accumulate(np.concatenate((acc, weights[np.bitwise_count(k[fails])])))[-1:]
    return float(acc[0])


def np_qubo_criticality(qubo, n_vars):
    ij = np.array([t[0] for t in qubo], dtype=np.int64).reshape(-1, 2)
    a = np.abs(np.array([t[1] for t in qubo], dtype=np.float64))
    keep = (ij < n_vars).all(axis=1)
    ij, a = ij[keep], a[keep]
    # Each term credits i, then j (unless i == j), in term order: add.at is
    # unbuffered and goes through the indices in the order given.
    index = ij.ravel()
    values = np.repeat(a, 2)
    second = np.zeros(len(index), dtype=bool)
    second[1::2] = True
    credit = ~(second & (index == np.repeat(ij[:, 0], 2)))
    criticality = np.zeros(n_vars)
    np.add.at(criticality, index[credit], values[credit])
    order = np.argsort(-criticality, kind="stable")
    return list(zip(order.tolist(), criticality[order].tolist()))


def same_bits(a, b):
    return struct.pack("<d", a) == struct.pack("<d", b)


def ratio(slow, fast):
    return f"{slow / fast:.1f}x" if slow is not None else "-"


def main():
    patches = {d: core.ecc.build_surface_code(d) for d in (3, 4, 5)}
    p = 0.01

    rows = []
    for d, patch in patches.items():
        n = d * d
        args = (n, patch.z_stabilizers)
        expected = core.build_ecc_lookup_table(*args)
        assert np_lookup_table(*args) == expected
        t_core = best_time(lambda: core.build_ecc_lookup_table(*args))
        t_np = best_time(lambda: np_lookup_table(*args), repeat=3)
        t_py = None
        if n <= 16:
            assert ref.build_ecc_lookup_table(*args) == expected
            t_py = best_time(lambda: ref.build_ecc_lookup_table(*args), repeat=1)
        rows.append([f"d={d} (n={n}, m={len(patch.z_stabilizers)})", fmt_time(t_core), fmt_time(t_np), fmt_time(t_py),
                     ratio(t_np, t_core), ratio(t_py, t_core)])
    print_table("build_ecc_lookup_table", ["code", "tavik_core", "NumPy", "pure Python", "vs NumPy", "vs Python"],
                rows)

    rows = []
    cases = [(f"d={d}", d * d, patch.z_stabilizers, patch.logical_z) for d, patch in patches.items()]
    # One idle qubit more than the distance-5 patch, and a random 13-check code.
    rng = random.Random(5)
    cases.append(("d=5 + idle qubit", 26, patches[5].z_stabilizers, patches[5].logical_z))
    cases.append(("random 13 checks", 26, [rng.sample(range(26), 4) for _ in range(13)], list(range(0, 26, 5))))
    for label, n, supports, logical_z in cases:
        args = (n, supports, logical_z, p)
        value = core.logical_failure_probability(*args)
        t_core = best_time(lambda: core.logical_failure_probability(*args), repeat=3)
        t_np = t_py = None
        if n <= 25:
            assert same_bits(np_failure_probability(*args), value)
            t_np = best_time(lambda: np_failure_probability(*args), repeat=2)
        if n <= 16:
            assert same_bits(ref.logical_failure_probability(*args), value)
            t_py = best_time(lambda: ref.logical_failure_probability(*args), repeat=1)
        rows.append([f"{label} (n={n}, m={len(supports)})", f"{value:.6g}", fmt_time(t_core), fmt_time(t_np),
                     fmt_time(t_py), ratio(t_np, t_core), ratio(t_py, t_core)])
    print_table(f"logical_failure_probability (p = {p})",
                ["code", "value", "tavik_core", "NumPy", "pure Python", "vs NumPy", "vs Python"], rows)
    bench_arrays(patches[5])
    bench_patches()


def bench_arrays(patch):
    """tavik.arrays against tavik_core: a rank-20 lookup table (20 random weight-4
    checks on 24 qubits), and the distance-5 failure probability at 16 rates in one
    call against a single-rate core call."""
    rng = random.Random(20)
    supports = [rng.sample(range(24), 4) for _ in range(20)]
    syndromes, corrections = ta.build_ecc_lookup_table(24, supports)
    expected = core.build_ecc_lookup_table(24, supports)
    assert len(expected) == len(syndromes) == 2**20
    number = lambda bit_list: sum(b << i for i, b in enumerate(bit_list))  # noqa: E731
    assert [(number(s), number(e)) for s, e in expected] == list(zip(syndromes.tolist(), corrections.tolist()))
    t_core = best_time(lambda: core.build_ecc_lookup_table(24, supports), repeat=3)
    t_arrays = best_time(lambda: ta.build_ecc_lookup_table(24, supports))
    rows = [["build_ecc_lookup_table, rank 20 (n=24, m=20)", fmt_time(t_core), fmt_time(t_arrays),
             f"{t_core / t_arrays:.1f}x faster"]]

    args = (25, patch.z_stabilizers, patch.logical_z)
    rates = np.geomspace(1e-4, 0.3, 16)
    values = ta.logical_failure_probability(*args, rates)
    expected = [core.logical_failure_probability(*args, r) for r in rates.tolist()]
    assert all(same_bits(v, e) for v, e in zip(values.tolist(), expected))
    t_one = best_time(lambda: core.logical_failure_probability(*args, 0.01))
    t_sixteen = best_time(lambda: ta.logical_failure_probability(*args, rates))
    rows.append(["logical_failure_probability, d=5: 16 rates (arrays) vs 1 rate (core)", fmt_time(t_one),
                 fmt_time(t_sixteen), f"{t_sixteen / t_one:.2f}x the time"])
    cpus = len(os.sched_getaffinity(0))
    print_table(f"tavik.arrays ({cpus} CPUs)", ["call", "tavik_core", "tavik.arrays", "ratio"], rows)


def bench_patches():
    rng = random.Random(11)
    rows = []
    for n_vars, n_terms in ((100, 1000), (5000, 50000)):
        qubo = [((rng.randrange(n_vars + 5), rng.randrange(n_vars)), rng.uniform(-1, 1)) for _ in range(n_terms)]
        expected = core.qubo_criticality(qubo, n_vars)
        assert np_qubo_criticality(qubo, n_vars) == expected == ref.qubo_criticality(qubo, n_vars)
        t_core = best_time(lambda: core.qubo_criticality(qubo, n_vars))
        t_np = best_time(lambda: np_qubo_criticality(qubo, n_vars))
        t_py = best_time(lambda: ref.qubo_criticality(qubo, n_vars))
        rows.append([f"qubo_criticality ({n_vars} vars, {n_terms} terms)", fmt_time(t_core), fmt_time(t_np),
                     fmt_time(t_py), ratio(t_np, t_core), ratio(t_py, t_core)])
    ranked = core.qubo_criticality([((k, k), float(k)) for k in range(500)], 500)
    assignments = core.ecc.select_patches(ranked, 10**6, 5)
    circuit = [(rng.choice(["h", "cx", "rz"]), [rng.randrange(1000) for _ in range(rng.randint(1, 2))])
               for _ in range(20000)]
    assert core.ecc.remap_circuit(circuit, assignments) == ref.remap_circuit(circuit, assignments)
    t_core = best_time(lambda: core.ecc.remap_circuit(circuit, assignments))
    t_py = best_time(lambda: ref.remap_circuit(circuit, assignments))
    rows.append(["remap_circuit (20000 gates, 500 patches)", fmt_time(t_core), "-", fmt_time(t_py), "-",
                 ratio(t_py, t_core)])
    print_table("criticality ranking and remapping", ["call", "tavik_core", "NumPy", "pure Python", "vs NumPy",
                                                      "vs Python"], rows)


if __name__ == "__main__":
    main()
