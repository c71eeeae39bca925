"""Exhaustive kernels against the pure-Python reference, a NumPy version with
the same arithmetic order (results checked bit for bit) and dimod's
ExactSolver; plus the cost of converting a large QUBO argument, and the
array face against the core (`--arrays`: that table alone).

    python benchmarks/bench_enumeration.py
"""

import math
import os
import random
import resource
import sys
import time

import numpy as np

from common import best_time, fmt_time, print_table

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))
from reference import enumeration as ref  # noqa: E402

import tavik.tavik_core as core  # noqa: E402

try:
    import dimod
except ImportError:  # the peer is optional
    dimod = None

INT64_MAX = 2**63 - 1


# --- NumPy versions: the same per-assignment arithmetic, vectorised over assignments


def _bits(n):
    idx = np.arange(2**n, dtype=np.uint64)
    return [((idx >> np.uint64(k)) & np.uint64(1)).astype(np.float64) for k in range(n)]


def _keys(energies):
    r = energies * 1e9
    whole = np.trunc(r)
    with np.errstate(invalid="ignore"):
        whole = whole + np.where(np.abs(r - whole) >= 0.5, np.sign(r), 0.0)
        keys = np.where(np.isnan(whole), 0, whole)
        keys = np.clip(keys, -(2.0**63), 2.0**63)
    out = keys.astype(np.int64)  # -2^63 converts exactly; +2^63 wraps: fix below
    out[keys >= 2.0**63] = INT64_MAX
    return out


def _argmin_first(energies):
    clean = np.where(np.isnan(energies), np.inf, energies)
    k = int(np.argmin(clean))
    return (k, float(clean[k])) if clean[k] < np.inf else (0, math.inf)


def numpy_spectrum(qubo, n):
    x = _bits(n)
    e = np.zeros(2**n)
    for (i, j), w in qubo:
        e += (w * x[i]) * x[j]
    k, best = _argmin_first(e)
    return [(k >> b) & 1 for b in range(n)], best, (np.unique(_keys(e)) / 1e9).tolist()


def numpy_spins(n):
    return [np.where(b == 1.0, 1.0, -1.0) for b in _bits(n)]


def numpy_norm(dh, dj, n):
    s = numpy_spins(n)
    e = np.zeros(2**n)
    for site, h in dh:
        e += s[site] * h
    for (i, j), c in dj:
        e += (c * s[i]) * s[j]
    return float(np.max(np.where(np.isnan(e), 0.0, np.abs(e))))


def numpy_solve(n, interactions):
    s = numpy_spins(n)
    e = np.zeros(2**n)
    for p, q, w in interactions:
        e += w * s[p] if p == q else (w * s[p]) * s[q]
    k, _ = _argmin_first(e)
    return [1 if (k >> b) & 1 else -1 for b in range(n)]


# --- inputs


def dense_terms(rng, n):
    return [((i, j), rng.uniform(-1, 1)) for i in range(n) for j in range(i, n)]


def sparse_terms(rng, n):
    return [((rng.randrange(n), rng.randrange(n)), rng.uniform(-1, 1)) for _ in range(2 * n)]


def python_time(fn, n, limit=16):
    """The pure-Python reference, measured in full up to n = limit and
    extrapolated from n = limit (its cost is linear in 2^n) beyond that."""
    if n <= limit:
        start = time.perf_counter()
        fn(n)
        return time.perf_counter() - start, ""
    start = time.perf_counter()
    fn(limit)
    return (time.perf_counter() - start) * 2 ** (n - limit), " (extrapolated)"


def same_bits(a, b):
    def norm(v):
        if isinstance(v, float):
            return v.hex()
        if isinstance(v, (list, tuple)):
            return [norm(x) for x in v]
        return v

    return norm(a) == norm(b)


def main():
    rng = random.Random(1)
    rows = []
    for n in (12, 16, 20):
        for shape, make in (("dense", dense_terms), ("sparse", sparse_terms)):
            qubo = make(rng, n)
            label = f"n={n} {shape} ({len(qubo)} terms)"

            # qubo_energy_spectrum
            ours = best_time(lambda: core.qubo_energy_spectrum(qubo, n), repeat=3)
            assert same_bits(core.qubo_energy_spectrum(qubo, n), numpy_spectrum(qubo, n))
            np_t = best_time(lambda: numpy_spectrum(qubo, n), repeat=1, min_seconds=0)
            py_t, note = python_time(lambda m: ref.qubo_energy_spectrum([t for t in qubo if max(t[0]) < m], m), n)
            dm = None
            if dimod is not None:
                q = {}
                for (i, j), w in qubo:
                    q[(i, j)] = q.get((i, j), 0.0) + w
                dm = best_time(lambda: dimod.ExactSolver().sample_qubo(q), repeat=1, min_seconds=0)
            rows.append(["qubo_energy_spectrum", label, fmt_time(ours), f"{np_t / ours:.1f}x", f"{py_t / ours:.0f}x{note}",
                         f"{dm / ours:.1f}x" if dm else "-"])  # fmt: skip

            # exact_ising_norm: the same terms as couplings, plus a field on every site
            dh = [(k, rng.uniform(-0.1, 0.1)) for k in range(n)]
            ours = best_time(lambda: core.exact_ising_norm(dh, qubo, n), repeat=3)
            assert same_bits(core.exact_ising_norm(dh, qubo, n), numpy_norm(dh, qubo, n))
            np_t = best_time(lambda: numpy_norm(dh, qubo, n), repeat=1, min_seconds=0)
            py_t, note = python_time(
                lambda m: ref.exact_ising_norm([t for t in dh if t[0] < m], [t for t in qubo if max(t[0]) < m], m), n
            )
            dm = None
            if dimod is not None:
                h = dict(dh)
                J = {}
                for (i, j), c in qubo:
                    if i != j:
                        J[(i, j)] = J.get((i, j), 0.0) + c
                dm = best_time(lambda: dimod.ExactSolver().sample_ising(h, J), repeat=1, min_seconds=0)
            rows.append(["exact_ising_norm", label, fmt_time(ours), f"{np_t / ours:.1f}x", f"{py_t / ours:.0f}x{note}",
                         f"{dm / ours:.1f}x" if dm else "-"])  # fmt: skip

    # solve_exact at 20 variables with 190 interactions (every pair once)
    sim = core.sim
    n = 20
    names = [f"v{k}" for k in range(n)]
    pairs = [(p, q, rng.uniform(-1, 1)) for p in range(n) for q in range(p + 1, n)]
    graph = sim.LogicalGraph([sim.Variable(v, "spin") for v in names], [sim.Interaction(names[p], names[q], w) for p, q, w in pairs])
    solver = sim.IsingSimulator()
    ours = best_time(lambda: solver.solve_exact(graph), repeat=3)
    assert solver.solve_exact(graph) == numpy_solve(n, pairs)
    np_t = best_time(lambda: numpy_solve(n, pairs), repeat=1, min_seconds=0)
    py_t, note = python_time(
        lambda m: ref.solve_exact(names[:m], [(names[p], names[q], w) for p, q, w in pairs if q < m]), n
    )
    dm = None
    if dimod is not None:
        J = {(p, q): w for p, q, w in pairs}
        dm = best_time(lambda: dimod.ExactSolver().sample_ising({}, J), repeat=1, min_seconds=0)
    rows.append(["solve_exact", f"N=20 ({len(pairs)} interactions)", fmt_time(ours), f"{np_t / ours:.1f}x",
                 f"{py_t / ours:.0f}x{note}", f"{dm / ours:.1f}x" if dm else "-"])  # fmt: skip

    print_table(
        "Exhaustive kernels: module time and speed-up over each peer (higher is better)",
        ["kernel", "input", "tavik_core", "vs NumPy", "vs pure Python", "vs dimod ExactSolver"],
        rows,
    )

    # Argument conversion of a 100,000-term QUBO: n_vars = 0 returns right after
    # converting, so the call is almost all conversion.
    qubo = [((rng.randrange(20), rng.randrange(20)), rng.uniform(-1, 1)) for _ in range(100_000)]

    def unpack():
        for (i, j), w in qubo:
            pass

    conv = best_time(lambda: core.qubo_energy_spectrum(qubo, 0))
    loop = best_time(unpack)
    # Minor page faults per call: columns that come back as fresh pages every
    # call (memory handed back to the system on each return) show here first.
    calls = 50
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    for _ in range(calls):
        core.qubo_energy_spectrum(qubo, 0)
    faults = (resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults) / calls
    print_table(
        "Converting a 100,000-term QUBO list",
        ["what", "time", "per term"],
        [
            ["qubo_energy_spectrum(qubo, 0) (conversion only)", fmt_time(conv), fmt_time(conv / len(qubo))],
            ["for (i, j), w in qubo: pass", fmt_time(loop), fmt_time(loop / len(qubo))],
            ["ratio conversion / loop", f"{conv / loop:.2f}", ""],
            ["minor page faults per conversion call", f"{faults:.0f}", ""],
        ],
    )


def arrays_rows():
    """The array face (every CPU) against the core (one) at n = 20, dense, and
    two threads calling exact_ising_norm at once against the two calls in turn."""
    import threading

    import tavik.arrays as ta

    rng = random.Random(2)
    n = 20
    qubo = dense_terms(rng, n)
    dh = [(k, rng.uniform(-0.1, 0.1)) for k in range(n)]
    best, energy, spectrum = ta.qubo_energy_spectrum(qubo, n)
    assert same_bits((best.tolist(), energy, spectrum.tolist()), core.qubo_energy_spectrum(qubo, n))
    assert same_bits(ta.exact_ising_norm(dh, qubo, n), core.exact_ising_norm(dh, qubo, n))

    def both_at_once():
        threads = [threading.Thread(target=ta.exact_ising_norm, args=(dh, qubo, n)) for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    spectrum_core = best_time(lambda: core.qubo_energy_spectrum(qubo, n), repeat=5)
    spectrum_arrays = best_time(lambda: ta.qubo_energy_spectrum(qubo, n), repeat=5)
    norm_core = best_time(lambda: core.exact_ising_norm(dh, qubo, n), repeat=5)
    norm_arrays = best_time(lambda: ta.exact_ising_norm(dh, qubo, n), repeat=5)
    at_once = best_time(both_at_once, repeat=5)
    print_table(
        f"Array face at n={n}, {len(qubo)} dense terms, {len(os.sched_getaffinity(0))} CPUs (wall-clock)",
        ["call", "tavik_core", "tavik.arrays", "ratio"],
        [
            ["qubo_energy_spectrum", fmt_time(spectrum_core), fmt_time(spectrum_arrays),
             f"{spectrum_core / spectrum_arrays:.2f}x faster"],
            ["exact_ising_norm", fmt_time(norm_core), fmt_time(norm_arrays), f"{norm_core / norm_arrays:.2f}x faster"],
            ["exact_ising_norm, 2 threads at once / 2 calls in turn", "", fmt_time(at_once),
             f"{at_once / (2 * norm_arrays):.2f}"],
        ],
    )


if __name__ == "__main__":
    if sys.argv[1:] == ["--arrays"]:
        arrays_rows()
    else:
        main()
        arrays_rows()
