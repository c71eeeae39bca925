"""vrp_qubo_terms against pure-Python and NumPy builders of the same dict
(keys, values and insertion order checked identical), and against the floor
of building a dict of that size from ready-made keys and values; then
tavik.arrays.vrp_qubo_matrix (the same QUBO as a dense matrix, checked
against the dict) against the pure-Python dict builder."""

import os
import random
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))

import tavik.arrays as ta  # noqa: E402
import tavik.tavik_core as core  # noqa: E402
from common import best_time, fmt_time, print_table  # noqa: E402
from reference.vrp_qubo import vrp_qubo_terms as reference_model  # noqa: E402


def straightforward_builder(dist, penalty_a, penalty_b):
    """The builder one writes first: name strings per term, a dict keyed by
    name pairs, sorted by variable index at the end."""
    n = len(dist)
    if any(len(row) != n for row in dist):
        raise ValueError("distance matrix must be square")
    qubo = {}

    def add(a, b, c):
        key = (a, b) if a <= b else (b, a)
        qubo[key] = qubo.get(key, 0.0) + c

    def subtract(k, c):
        qubo[(k, k)] = qubo.get((k, k), 0.0) - c

    two_a = penalty_a + penalty_a
    for i in range(n):
        for t in range(n):
            subtract(f"x_{i}_{t}", penalty_a)
            for s in range(t + 1, n):
                add(f"x_{i}_{t}", f"x_{i}_{s}", two_a)
    for t in range(n):
        for i in range(n):
            subtract(f"x_{i}_{t}", penalty_a)
            for j in range(i + 1, n):
                add(f"x_{i}_{t}", f"x_{j}_{t}", two_a)
    for u in range(n):
        for v in range(n):
            if u != v:
                for t in range(n):
                    add(f"x_{u}_{t}", f"x_{v}_{(t + 1) % n}", penalty_b * dist[u][v])

    def index(name):
        _, i, t = name.split("_")
        return n * int(i) + int(t)

    return dict(sorted(qubo.items(), key=lambda item: (index(item[0][0]), index(item[0][1]))))


def numpy_builder(dist, penalty_a, penalty_b):
    """Every contribution as arrays in pass order, stably sorted by key and
    added in that order onto +0.0; then the dict."""
    n = len(dist)
    d = np.asarray(dist, dtype=np.float64).reshape(n, n)
    names = [f"x_{i}_{t}" for i in range(n) for t in range(n)]
    rank = np.empty(n * n, dtype=np.int64)
    rank[sorted(range(n * n), key=lambda k: names[k].encode())] = np.arange(n * n)
    idx = np.arange(n * n).reshape(n, n)  # idx[i, t] = n·i + t
    two_a = penalty_a + penalty_a

    parts = []  # (a, b, contribution) in pass order
    for constraint in (idx, idx.T):  # node pass: rows of idx; position pass: rows of idx.T
        for row in constraint:
            for p, k in enumerate(row):
                parts.append((np.array([k]), np.array([k]), np.array([penalty_a])))  # subtracted
                rest = row[p + 1:]
                parts.append((np.full(len(rest), k), rest, np.full(len(rest), two_a)))
    u, v, t = np.meshgrid(np.arange(n), np.arange(n), np.arange(n), indexing="ij")
    keep = u != v
    u, v, t = u[keep], v[keep], t[keep]
    parts.append((n * u + t, n * v + (t + 1) % n, penalty_b * d[u, v]))
    a = np.concatenate([p[0] for p in parts]).astype(np.int64)
    b = np.concatenate([p[1] for p in parts]).astype(np.int64)
    c = np.concatenate([p[2] for p in parts])
    linear = a == b
    swap = rank[a] > rank[b]
    first, second = np.where(swap, b, a), np.where(swap, a, b)
    key = first * (n * n) + second
    order = np.argsort(key, kind="stable")
    key, c, linear = key[order], c[order], linear[order]
    starts = np.flatnonzero(np.r_[True, key[1:] != key[:-1]]) if len(key) else np.zeros(0, np.int64)
    sizes = np.diff(np.r_[starts, len(key)])
    values = np.zeros(len(starts))
    for k in range(int(sizes.max()) if len(sizes) else 0):
        has = sizes > k
        # the linear entries subtract, the others add
        step = c[starts[has] + k]
        values[has] = np.where(linear[starts[has] + k], values[has] - step, values[has] + step)
    firsts, seconds = (key[starts] // (n * n)).tolist(), (key[starts] % (n * n)).tolist()
    return dict(zip([(names[x], names[y]) for x, y in zip(firsts, seconds)], values.tolist()))


def same(x, y):
    return [(k, float.hex(v)) for k, v in x.items()] == [(k, float.hex(v)) for k, v in y.items()]


def matrix_matches(dist, a, b):
    q, labels = ta.vrp_qubo_matrix(dist, a, b)
    index = {name: k for k, name in enumerate(labels)}
    expected = np.zeros_like(q)
    for (x, y), value in core.vrp_qubo_terms(dist, a, b).items():
        expected[index[x], index[y]] = value
    return np.array_equal(q.view(np.uint64), expected.view(np.uint64))


def main():
    rows, matrix_rows = [], []
    for n in (10, 25, 50):
        rng = random.Random(n)
        dist = [[0.0 if u == v else rng.uniform(1.0, 100.0) for v in range(n)] for u in range(n)]
        a, b = 250.0, 1.0
        ours = core.vrp_qubo_terms(dist, a, b)
        assert same(ours, straightforward_builder(dist, a, b)), "straightforward builder differs"
        assert same(ours, reference_model(dist, a, b)), "reference model differs"
        assert same(ours, numpy_builder(dist, a, b)), "NumPy builder differs"
        keys, values = list(ours), list(ours.values())

        t_core = best_time(lambda: core.vrp_qubo_terms(dist, a, b))
        t_py = best_time(lambda: straightforward_builder(dist, a, b), repeat=3)
        t_ref = best_time(lambda: reference_model(dist, a, b), repeat=3)
        t_np = best_time(lambda: numpy_builder(dist, a, b), repeat=3)
        t_floor = best_time(lambda: dict(zip(keys, values)))
        rows.append([n, len(ours), fmt_time(t_py), fmt_time(t_ref), fmt_time(t_np), fmt_time(t_core),
                     fmt_time(t_floor), f"{t_py / t_core:.1f}x", f"{t_ref / t_core:.1f}x", f"{t_np / t_core:.1f}x",
                     f"{t_core / t_floor:.2f}x"])
        assert matrix_matches(dist, a, b), "vrp_qubo_matrix differs"
        d = np.array(dist)
        t_matrix = best_time(lambda: ta.vrp_qubo_matrix(d, a, b))
        matrix_rows.append([n, f"{(n * n) ** 2 * 8 / 1e6:.3g} MB", fmt_time(t_py), fmt_time(t_matrix),
                            f"{t_py / t_matrix:.0f}x", f"{t_core / t_matrix:.1f}x"])
    print_table(
        "vrp_qubo_terms (best of several runs; 2 shared cores, expect noise)",
        ["n", "entries", "Python", "Python (int keys)", "NumPy", "tavik_core", "dict floor", "vs Python",
         "vs int keys", "vs NumPy", "of floor"],
        rows,
    )
    print("Python: straightforward builder (name strings per term, dict on name pairs, sorted at the end)")
    print("Python (int keys): the step-by-step reference model (map on index pairs, then sorted)")
    print("dict floor: dict(zip(keys, values)) from the ready key tuples and floats of the result")
    print("Every time includes freeing the previous call's result, except the floor's (its objects stay alive).")
    print_table(
        "tavik.arrays.vrp_qubo_matrix: the dense n² × n² float64 matrix, on every core",
        ["n", "Q", "Python", "arrays", "vs Python", "vs tavik_core"],
        matrix_rows,
    )
    print("Python: the straightforward dict builder above; vs tavik_core: the dict from vrp_qubo_terms")


if __name__ == "__main__":
    main()
