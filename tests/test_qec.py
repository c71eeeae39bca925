"""tavik.qec: failure counts against brute force over the core's own decoder table, exact evaluation, bounds that
hold, thresholds and crossings against bisection, and the Dask split against the local count."""

import math
import random
from fractions import Fraction

import numpy as np
import pytest

import tavik.tavik_core as core
from tavik import qec
from tavik.exceptions import SizeViolation

D3_COUNTS = (0, 0, 18, 56, 57, 69, 28, 18, 9, 1)
D5 = core.ecc.build_surface_code(5)


def brute_counts(checks, logical):
    """Every pattern decoded by tavik_core's table, failures counted by weight."""
    m, n = checks.shape
    table = core.build_ecc_lookup_table(n, [np.flatnonzero(row).tolist() for row in checks])
    parity_of = {tuple(s): sum(c[q] for q in logical) % 2 for s, c in table}
    patterns = (np.arange(2**n)[:, None] >> np.arange(n)) & 1
    syndromes = patterns @ checks.T % 2
    fails = [sum(e[q] for q in logical) % 2 != parity_of[tuple(s)] for e, s in zip(patterns, syndromes)]
    return np.bincount(patterns.sum(axis=1)[fails], minlength=n + 1).tolist()


def random_code(seed):
    rng = random.Random(seed)
    n, m = rng.randint(1, 13), rng.randint(0, 9)
    checks = np.array([[rng.random() < rng.choice([0.2, 0.5]) for _ in range(n)] for _ in range(m)], dtype=np.uint8)
    if m > 2:
        checks[-1] = checks[0] ^ checks[1]  # a dependent check
    return checks.reshape(m, n), sorted(rng.sample(range(n), rng.randint(1, n)))


def counts(code, max_weight, method):
    parsed = qec._code(code)
    return qec._counts(parsed, parsed.n if max_weight is None else max_weight, method, None)


@pytest.mark.parametrize("seed", range(14))
def test_counts_are_those_of_the_cores_table(seed):
    checks, logical = random_code(seed)
    expected = brute_counts(checks, logical)
    n = checks.shape[1]
    assert counts((checks, logical), None, "table") == expected
    assert counts((checks, logical), None, "walk") == expected
    assert counts((checks, np.isin(np.arange(n), logical).astype(int)), n // 2, "walk") == expected[: n // 2 + 1]


def test_the_code_may_be_a_distance_a_patch_or_a_matrix():
    scipy_sparse = pytest.importorskip("scipy.sparse")
    patch = core.ecc.build_surface_code(3)
    dense = np.array([np.isin(range(9), support) for support in patch.z_stabilizers], dtype=int)
    for code in (3, patch, (dense, patch.logical_z), (scipy_sparse.csr_matrix(dense), np.isin(range(9), [0, 3, 6]))):
        assert qec.failure_polynomial(code).counts == D3_COUNTS


def test_the_walk_agrees_with_the_table_past_small_weights_and_with_the_core():
    poly = qec.failure_polynomial(5)
    assert poly.complete and poly.counts[:9] == tuple(counts(5, 8, "walk"))
    for p in (1e-3, 0.01, 0.1, 0.3):
        assert poly(p) == pytest.approx(core.logical_failure_probability(25, D5.z_stabilizers, D5.logical_z, p),
                                        rel=1e-9, abs=1e-15)  # fmt: skip


def test_hashed_tables_count_what_the_direct_ones_do():
    # 20 qubits of their own single checks each: rank 32, past the direct tables, and never a failure of their own, so
    # the counts are those of distance 5 spread over the extra qubits' flips.
    checks = np.zeros((12 + 20, 45), dtype=np.uint8)
    checks[:12, :25] = [np.isin(range(25), support) for support in D5.z_stabilizers]
    checks[12:, 25:] = np.eye(20, dtype=np.uint8)
    d5 = qec.failure_polynomial(5).counts
    expected = [sum(d5[k] * math.comb(20, w - k) for k in range(w + 1)) for w in range(6)]
    assert qec.failure_polynomial((checks, D5.logical_z), max_weight=5).counts == tuple(expected)


def exact(poly, p, counts_=None):
    p = Fraction(p)
    return sum(c * p**w * (1 - p) ** (poly.n - w) for w, c in enumerate(counts_ or poly.counts))


RATES = [0.0, 1e-6, 1e-3, 0.01, 0.07, 0.2, 0.37, 0.5, 0.93, 1.0]


def test_evaluation_is_exact_to_rounding_at_every_rate():
    poly = qec.failure_polynomial(5)
    values = poly(np.array(RATES))
    shifted = poly(np.array([0.5, *RATES])[1:])  # SIMD loops that start elsewhere in a vector
    for p, value, other in zip(RATES, values, shifted):
        assert abs(Fraction(value) - exact(poly, p)) <= Fraction(1e-14) * exact(poly, p)
        assert poly(p) == value == other


@pytest.mark.parametrize("max_weight", [0, 3, 8, 24])
def test_bounds_hold_and_are_no_wider_than_the_uncounted_patterns(max_weight):
    full = qec.failure_polynomial(5)
    part = qec.FailurePolynomial(25, full.counts[: max_weight + 1], max_weight)
    lo, hi = part.bounds(np.array(RATES))
    for p, low, high in zip(RATES, lo, hi):
        tail = sum(math.comb(25, w) * Fraction(p) ** w * (1 - Fraction(p)) ** (25 - w) for w in range(max_weight + 1, 26))
        assert low <= exact(full, p) <= high
        assert Fraction(high) - Fraction(low) <= (exact(part, p) + tail) * Fraction(1 + 1e-11) - exact(part, p) * Fraction(1 - 1e-11)
    assert full.bounds(0.1) == (full(0.1), full(0.1))


def bisect(f, lo, hi):
    """Float bisection of a sign change of f, f exact on floats."""
    while (mid := (lo + hi) / 2) not in (lo, hi):
        lo, hi = (mid, hi) if f(mid) < 0 else (lo, mid)
    return lo, hi


def test_thresholds_and_crossings_against_bisection():
    d3, d5 = qec.failure_polynomial(3), qec.failure_polynomial(5)
    for poly in (d3, d5):
        lo, hi = bisect(lambda p: exact(poly, p) - Fraction(p), 0.01, 0.2)
        assert lo - 1e-16 <= poly.pseudo_threshold() <= hi + 1e-16
        truncated = qec.FailurePolynomial(poly.n, poly.counts[:5], 4).pseudo_threshold()
        assert truncated[0] <= lo and truncated[1] >= hi
    lo, hi = bisect(lambda p: exact(d5, p) - exact(d3, p), 0.01, 0.2)
    assert lo - 1e-16 <= qec.crossing(d3, d5) <= hi + 1e-16 and qec.crossing(d5, d3) == qec.crossing(d3, d5)
    bracket = qec.crossing(d3, qec.FailurePolynomial(25, d5.counts[:9], 8))
    assert bracket[0] <= lo and hi <= bracket[1] and bracket[1] - bracket[0] < 0.05
    # p_L = 3p² − 2p³ meets p only at 1/2, outside (0, 1/2); a curve above p never starts below it.
    assert qec.FailurePolynomial(3, (0, 0, 3, 1)).pseudo_threshold() is None
    assert qec.FailurePolynomial(2, (0, 2, 1)).pseudo_threshold() is None


def test_curves_tabulate_every_code_at_every_rate():
    d5 = qec.failure_polynomial(5)
    table = qec.curves({"three": 3, "five": d5, "five, W=4": D5}, [0.01, 0.1], max_weight=4)
    assert table["code"].tolist() == ["three"] * 2 + ["five"] * 2 + ["five, W=4"] * 2
    assert table["n"].tolist() == [9, 9, 25, 25, 25, 25]
    assert table["P_L"][2:4].tolist() == d5([0.01, 0.1]).tolist() == table["hi"][2:4].tolist()
    assert (table["lo"][4:] <= d5([0.01, 0.1])).all() and (d5([0.01, 0.1]) < table["hi"][4:]).all()
    assert (table["lo"] <= table["P_L"]).all() and table["hi"][-1] > table["P_L"][-1] + 0.09
    assert qec.curves([3], [0.2])["code"].tolist() == ["surface d=3"]


BAD = [
    ((np.ones((2, 9), dtype=int), [0, 9]), {}, ValueError, r"^logical\[1\]: index 9 is out of range for n_data = 9$"),
    ((np.full((2, 3), 2), [0]), {}, ValueError, r"^checks: entries must be 0 or 1$"),
    ((np.ones(3), [0]), {}, ValueError, r"^checks: expected a 0/1 matrix \(one row per check\), got shape \(3,\)$"),
    ("d=3", {}, TypeError, r"^code: expected a distance, a SurfaceCodePatch or \(checks, logical\), not str$"),
    ((np.eye(63, dtype=int), [0]), {}, SizeViolation, r"checks of rank <= 62$"),
    ((np.ones((1, 200), dtype=int), [0]), {"max_weight": 100}, SizeViolation, r"fewer than 2\^63 patterns$"),
    (11, {"max_weight": 12}, MemoryError, None),
    (3, {"max_weight": -1}, ValueError, r"^max_weight: must be >= 0, got -1$"),
]


@pytest.mark.parametrize(("code", "options", "error", "message"), BAD)
def test_bad_codes_are_refused_before_any_walk(code, options, error, message):
    with pytest.raises(error, match=message):
        qec.failure_polynomial(code, **options)


def test_a_dask_cluster_counts_what_one_process_does():
    distributed = pytest.importorskip("distributed")
    local = qec.failure_polynomial(7, max_weight=6)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:  # fmt: skip
        assert qec.failure_polynomial(7, max_weight=6, client=client) == local
